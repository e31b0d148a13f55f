#include "platform/win32/MessageWaitWin32.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace zibbles::platform {

MessageLoopWake::MessageLoopWake() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

MessageLoopWake::~MessageLoopWake() {
    if (event_)
        CloseHandle(event_);
}

std::function<void()> MessageLoopWake::hook() const {
    return [event = event_] { SetEvent(event); };
}

bool MessageLoopWake::waitAndDispatch(double seconds) {
    const double millis = std::clamp(std::ceil(seconds * 1000.0), 0.0, 60000.0);
    HANDLE handles[] = {event_};
    // MWMO_INPUTAVAILABLE: messages already in the queue end the wait too, not only new ones.
    MsgWaitForMultipleObjectsEx(event_ ? 1 : 0, handles, static_cast<DWORD>(millis), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

} // namespace zibbles::platform
