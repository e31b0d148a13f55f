#include "hosts/common/ContactSheet.h"

#include "Zibbles/SpriteImage.h"
#include "platform/BitmapContext.h"
#include "platform/SoftwareFramebuffer.h"

#include <algorithm>
#include <filesystem>

namespace zibbles::host {

namespace {

// Bounds that keep the sheet's size sane whatever a caller asks for.
constexpr std::int64_t maximumPerRow = 64;
constexpr std::int64_t maximumCell = 1024;
constexpr std::int64_t maximumGap = 256;

bool sane(const ContactSheetLayout& layout) {
    return layout.perRow >= 1 && layout.perRow <= maximumPerRow && layout.cell >= 1 &&
           layout.cell <= maximumCell && layout.gap >= 0 && layout.gap <= maximumGap;
}

} // namespace

std::optional<TokenId> ShownFigures::note(const std::optional<LoadedZibble>& current) {
    if (!current || current->tokenId == last_)
        return std::nullopt;
    last_ = current->tokenId;
    const bool firstShowing = seen_.insert(current->tokenId).second;
    if (firstShowing && kept_.size() < maximumKept)
        kept_.push_back(*current);
    return current->tokenId;
}

platform::ImageRef drawContactSheet(const std::vector<LoadedZibble>& figures,
                                    const platform::Color& background,
                                    const ContactSheetLayout& layout) {
    if (!sane(layout))
        return nullptr;
    const auto count = static_cast<std::int64_t>(figures.size());
    const std::int64_t columns = std::clamp<std::int64_t>(count, 1, layout.perRow);
    const std::int64_t rows =
        std::max<std::int64_t>(1, (count + layout.perRow - 1) / layout.perRow);
    const std::int64_t pitch = layout.cell + layout.gap;
    platform::SoftwareFramebuffer sheet(layout.gap + columns * pitch, layout.gap + rows * pitch);
    const platform::IntRect all{0, 0, sheet.width(), sheet.height()};
    sheet.fill(all, platform::premultipliedBytes(background));

    for (std::int64_t i = 0; i < count; ++i) {
        const LoadedZibble& figure = figures[static_cast<std::size_t>(i)];
        const auto image =
            drawSpriteImage(figure.content, figure.pixels, static_cast<double>(layout.cell), 1.0);
        if (!image)
            continue;
        const platform::IntRect cell{layout.gap + (i % layout.perRow) * pitch,
                                     layout.gap + (i / layout.perRow) * pitch, layout.cell,
                                     layout.cell};
        sheet.drawImage(*image, cell, cell);
    }
    return sheet.snapshot();
}

std::optional<std::string> sheetFolderProblem(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
        return "cannot write the contact sheet '" + path + "': no folder '" + folder.string() + "'";
    return std::nullopt;
}

} // namespace zibbles::host
