#include "platform/CompositorTargetX11Shm.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace zibbles::platform {
namespace {

// The least the segment holds; a moving sprite's damage fits many times over, and a full repaint
// goes through it in bands.
constexpr std::size_t kMinimumSegmentBytes = 1 << 20;
// At least this many rows of the widest window per band of a full repaint.
constexpr std::size_t kMinimumBandRows = 16;
// How long a present's completion is waited for before the pixels are taken back anyway: a put
// on a window that is gone never completes.
constexpr std::chrono::milliseconds kCompletionPatience{250};

// Set while make() asks the server to attach the segment: Xlib's handlers take no context.
bool attachFailed = false;

extern "C" int onAttachError(Display*, XErrorEvent*) {
    attachFailed = true;
    return 0;
}

// The byte order of a 32-bit pixel of a TrueColor visual with 8-bit channels, if it has one.
std::optional<PixelOrder> orderOf(Display* display, const Visual* visual, int depth) {
    if (visual->c_class != TrueColor || (depth != 24 && depth != 32) ||
        ImageByteOrder(display) != LSBFirst)
        return std::nullopt;
    int formats = 0;
    XPixmapFormatValues* list = XListPixmapFormats(display, &formats);
    bool thirtyTwoBits = false;
    for (int i = 0; i < formats; ++i)
        thirtyTwoBits |= list[i].depth == depth && list[i].bits_per_pixel == 32;
    XFree(list);
    if (!thirtyTwoBits || visual->green_mask != 0xff00)
        return std::nullopt;
    if (visual->red_mask == 0xff0000 && visual->blue_mask == 0xff)
        return PixelOrder::Bgra;
    if (visual->red_mask == 0xff && visual->blue_mask == 0xff0000)
        return PixelOrder::Rgba;
    return std::nullopt;
}

} // namespace

struct CompositorTargetX11Shm::Server {
    Visual* visual = nullptr;
    int depth = 0;
    int completionType = 0;
    GC gc = nullptr;
    XShmSegmentInfo segment{};
    XImage* image = nullptr; // describes a piece of the segment for each put
};

std::unique_ptr<CompositorTargetX11Shm> CompositorTargetX11Shm::make(Display* display,
                                                                     unsigned long window,
                                                                     double scale,
                                                                     std::string& error) {
    if (!XShmQueryExtension(display)) {
        error = "the X server offers no shared memory (MIT-SHM)";
        return nullptr;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        error = "XGetWindowAttributes failed";
        return nullptr;
    }
    const auto order = orderOf(display, attributes.visual, attributes.depth);
    if (!order) {
        error = "the window's visual is not 32-bit TrueColor";
        return nullptr;
    }
    std::unique_ptr<CompositorTargetX11Shm> target(
        new CompositorTargetX11Shm(display, window, scale));
    target->server_->visual = attributes.visual;
    target->server_->depth = attributes.depth;
    target->order_ = *order;
    target->server_->completionType = XShmGetEventBase(display) + ShmCompletion;
    target->server_->gc = XCreateGC(display, window, 0, nullptr);
    if (!target->resize(attributes.width, attributes.height)) {
        error = "no X shared-memory segment could be attached";
        return nullptr;
    }
    return target;
}

CompositorTargetX11Shm::CompositorTargetX11Shm(Display* display, unsigned long window, double scale)
    : display_(display), window_(window), scale_(scale), server_(std::make_unique<Server>()),
      canvas_(0, 0, scale) {}

CompositorTargetX11Shm::~CompositorTargetX11Shm() {
    detachSegment();
    if (server_->gc)
        XFreeGC(display_, server_->gc);
}

bool CompositorTargetX11Shm::attachSegment(std::size_t bytes, std::string& error) {
    server_->segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (server_->segment.shmid < 0) {
        error = "shmget failed";
        return false;
    }
    server_->segment.shmaddr = static_cast<char*>(shmat(server_->segment.shmid, nullptr, 0));
    server_->segment.readOnly = True;
    const bool mapped = server_->segment.shmaddr != reinterpret_cast<char*>(-1);
    // The server checks the segment as it attaches it (it fails for a remote client): wait for
    // its answer once, here, with a handler of this call's own.
    attachFailed = !mapped;
    if (mapped) {
        XSync(display_, False);
        const auto previous = XSetErrorHandler(onAttachError);
        XShmAttach(display_, &server_->segment);
        XSync(display_, False);
        XSetErrorHandler(previous);
    }
    // Gone once both sides let go, even if the process dies.
    shmctl(server_->segment.shmid, IPC_RMID, nullptr);
    if (attachFailed) {
        if (mapped)
            shmdt(server_->segment.shmaddr);
        server_->segment = {};
        error = "XShmAttach failed";
        return false;
    }
    server_->image =
        XShmCreateImage(display_, server_->visual, static_cast<unsigned>(server_->depth), ZPixmap,
                        server_->segment.shmaddr, &server_->segment, 1, 1);
    capacity_ = bytes;
    return server_->image != nullptr;
}

void CompositorTargetX11Shm::detachSegment() {
    if (!server_->segment.shmaddr)
        return;
    waitForCompletions(requested_);
    XShmDetach(display_, &server_->segment);
    XSync(display_, False);
    shmdt(server_->segment.shmaddr);
    if (server_->image)
        XDestroyImage(server_->image); // frees only the description: the pixels are the segment's
    server_->image = nullptr;
    server_->segment = {};
    capacity_ = 0;
}

bool CompositorTargetX11Shm::resize(std::int64_t width, std::int64_t height) {
    width_ = std::max<std::int64_t>(width, 0);
    height_ = std::max<std::int64_t>(height, 0);
    const std::size_t wanted =
        2 * std::max(kMinimumSegmentBytes, static_cast<std::size_t>(width_) * 4 * kMinimumBandRows);
    pieces_.clear();
    used_ = 0;
    if (capacity_ >= wanted)
        return true;
    detachSegment();
    std::string error;
    return attachSegment(wanted, error);
}

SoftwareFramebuffer& CompositorTargetX11Shm::canvasFor(const IntRect& area) {
    const std::size_t rowBytes =
        static_cast<std::size_t>(std::max<std::int64_t>(area.width, 0)) * 4;
    if (pieces_.empty()) {
        // A new frame, in the other half: the frame before last, which used it, must be done.
        half_ = 1 - half_;
        waitForCompletions(halfDone_[half_]);
        used_ = halfStart();
    }
    if (used_ + rowBytes > halfStart() + halfBytes()) {
        putPieces(); // the half is full: show what it holds, then use it again
        waitForCompletions(requested_);
        used_ = halfStart();
    }
    if (!server_->segment.shmaddr || rowBytes == 0 || rowBytes > halfBytes()) {
        canvas_ = SoftwareFramebuffer(0, 0, scale_);
        return canvas_;
    }
    const auto rows =
        std::min<std::int64_t>(area.height, (halfStart() + halfBytes() - used_) / rowBytes);
    const IntRect part{area.x, area.y, area.width, rows};
    auto* pixels = reinterpret_cast<std::uint32_t*>(server_->segment.shmaddr + used_);
    canvas_ = SoftwareFramebuffer::borrowing(pixels, part, area.width, order_);
    canvas_.setScale(scale_);
    pieces_.push_back({part, used_});
    used_ += rowBytes * static_cast<std::size_t>(rows);
    return canvas_;
}

void CompositorTargetX11Shm::putPieces() {
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
        const Piece& piece = pieces_[i];
        server_->image->width = static_cast<int>(piece.area.width);
        server_->image->height = static_cast<int>(piece.area.height);
        server_->image->bytes_per_line = static_cast<int>(piece.area.width * 4);
        server_->image->data = server_->segment.shmaddr + piece.offset;
        const bool last = i + 1 == pieces_.size();
        XShmPutImage(display_, window_, server_->gc, server_->image, 0, 0,
                     static_cast<int>(piece.area.x), static_cast<int>(piece.area.y),
                     static_cast<unsigned>(piece.area.width),
                     static_cast<unsigned>(piece.area.height), last ? True : False);
    }
    if (!pieces_.empty())
        halfDone_[half_] = ++requested_;
    pieces_.clear();
    XFlush(display_);
}

void CompositorTargetX11Shm::present(const std::vector<IntRect>&) {
    putPieces();
}

bool CompositorTargetX11Shm::takeCompletion(const _XEvent& event) {
    if (event.type != server_->completionType)
        return false;
    received_ = std::min(received_ + 1, requested_);
    return true;
}

void CompositorTargetX11Shm::waitForCompletions(std::uint64_t count) {
    if (received_ >= count)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kCompletionPatience;
    XFlush(display_);
    while (received_ < count) {
        XEvent event;
        if (XCheckTypedEvent(display_, server_->completionType, &event)) {
            ++received_;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd connection{ConnectionNumber(display_), POLLIN, 0};
        if (left.count() <= 0 || poll(&connection, 1, static_cast<int>(left.count())) <= 0) {
            received_ = requested_; // the window is gone, or the server is far behind
            return;
        }
        XEventsQueued(display_, QueuedAfterReading);
    }
}

} // namespace zibbles::platform
