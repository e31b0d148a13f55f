#pragma once

// Classes of views by name, so a host creates a view by its class name as a screen-saver host
// does. A host owns its registry; a module registers its class into it.

#include "platform/Environment.h"
#include "platform/Geometry.h"
#include "platform/ScreenSaverView.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace zibbles::platform {

class ViewRegistry {
  public:
    using FrameFactory = std::function<std::shared_ptr<ScreenSaverView>(
        const Environment&, Rect frame, bool isPreview)>;
    using ArchiveFactory =
        std::function<std::shared_ptr<ScreenSaverView>(const Environment&, const ViewArchive&)>;

    void registerClass(const std::string& name, FrameFactory fromFrame, ArchiveFactory fromArchive);
    bool has(const std::string& name) const { return classes_.count(name) != 0; }

    // Null when the name is unknown or the view's initialisation failed.
    std::shared_ptr<ScreenSaverView> make(const std::string& name, const Environment& environment,
                                          Rect frame, bool isPreview) const;
    std::shared_ptr<ScreenSaverView> make(const std::string& name, const Environment& environment,
                                          const ViewArchive& archive) const;

  private:
    struct Entry {
        FrameFactory fromFrame;
        ArchiveFactory fromArchive;
    };
    std::map<std::string, Entry> classes_;
};

} // namespace zibbles::platform
