#pragma once

// The wake-up of the saver's backends that sleep in poll (the X11 hack, the Wayland client): an
// eventfd that the main queue's posts write to, from any thread.

#include "hosts/common/PresentLoop.h"

namespace zibbles::host {

class WakeFd {
  public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;
    int fd() const { return fd_; }
    void post() const; // any thread
    void drain() const;

  private:
    int fd_;
};

// A backend that sleeps on its descriptors and is woken through its WakeFd.
class PollingBackend : public PresentBackend {
  public:
    std::function<void()> wakeHook() override {
        return [this] { wake_.post(); };
    }

  protected:
    WakeFd wake_;
};

} // namespace zibbles::host
