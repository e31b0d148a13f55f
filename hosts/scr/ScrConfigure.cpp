#include "hosts/scr/ScrConfigure.h"

#include "hosts/common/VersionText.h"
#include "platform/win32/TextWin32.h"

namespace zibbles::host {

void showAboutDialog(HWND owner) {
    const std::string text = versionText("Zibbles", BuildConstants::Shown) +
                             "\nThis screen saver has no settings: it shows the figures of the "
                             "collection at this endpoint.";
    MessageBoxW(owner, platform::wideFromUtf8(text).c_str(), L"Zibbles",
                MB_OK | MB_ICONINFORMATION | (owner ? 0 : MB_SETFOREGROUND));
}

} // namespace zibbles::host
