#pragma once

// The contact sheet of a headless run: every figure the view showed, once each, in the order
// shown, drawn as the sprite draws it, in a grid on the view's background colour.

#include "Zibbles/LoadedZibble.h"
#include "platform/Color.h"
#include "platform/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zibbles::host {

// Main thread only. Follows the view's current figure from step to step of the host's loop.
class ShownFigures {
  public:
    // A sheet of a week's run would otherwise hold thousands of figures; the ones beyond this are
    // counted but not kept.
    static constexpr std::size_t maximumKept = 512;

    // The id of the figure now shown when it differs from the one noted last time, else none.
    // The first showing of a token is kept for the sheet.
    std::optional<TokenId> note(const std::optional<LoadedZibble>& current);

    const std::vector<LoadedZibble>& kept() const { return kept_; }
    // Distinct tokens shown, kept or not.
    std::size_t distinctShown() const { return seen_.size(); }

  private:
    std::optional<TokenId> last_;
    std::set<TokenId> seen_;
    std::vector<LoadedZibble> kept_;
};

struct ContactSheetLayout {
    std::int64_t perRow = 8;
    std::int64_t cell = 96; // device pixels: each figure's square side
    std::int64_t gap = 8;   // device pixels between cells and around the grid
};

// The grid: min(perRow, count) columns (at least one), as many rows as needed (at least one), so
// a run that showed nothing gives one empty cell. Null when the layout is not positive.
platform::ImageRef drawContactSheet(const std::vector<LoadedZibble>& figures,
                                    const platform::Color& background,
                                    const ContactSheetLayout& layout = {});

// The sheet is written after the whole run, so a folder that is not there must fail before it:
// the error for people, or nothing when the folder is there.
std::optional<std::string> sheetFolderProblem(const std::string& path);

} // namespace zibbles::host
