#include "platform/ViewRegistry.h"

namespace zibbles::platform {

// Registering a name again replaces the factories it had.
void ViewRegistry::registerClass(const std::string& name, FrameFactory fromFrame,
                                 ArchiveFactory fromArchive) {
    classes_[name] = Entry{std::move(fromFrame), std::move(fromArchive)};
}

std::shared_ptr<ScreenSaverView> ViewRegistry::make(const std::string& name,
                                                    const Environment& environment, Rect frame,
                                                    bool isPreview) const {
    const auto entry = classes_.find(name);
    if (entry == classes_.end() || !entry->second.fromFrame) {
        return nullptr;
    }
    return entry->second.fromFrame(environment, frame, isPreview);
}

std::shared_ptr<ScreenSaverView> ViewRegistry::make(const std::string& name,
                                                    const Environment& environment,
                                                    const ViewArchive& archive) const {
    const auto entry = classes_.find(name);
    if (entry == classes_.end() || !entry->second.fromArchive) {
        return nullptr;
    }
    return entry->second.fromArchive(environment, archive);
}

} // namespace zibbles::platform
