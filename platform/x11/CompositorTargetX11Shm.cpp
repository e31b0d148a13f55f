#include "platform/x11/CompositorTargetX11Shm.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
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

// A segment the server has attached, and an image that describes pixels in it for each put.
struct SharedPixels {
    XShmSegmentInfo segment{};
    XImage* image = nullptr;
    std::size_t capacity = 0;
};

struct CompositorTargetX11Shm::Server {
    Visual* visual = nullptr;
    int depth = 0;
    int completionType = 0;
    GC gc = nullptr;
    SharedPixels frames; // the two halves frames take turns in
    SharedPixels kept;   // the kept image, which the server reads again at every frame
};

std::size_t CompositorTargetX11Shm::halfBytes() const {
    return server_->frames.capacity / 2;
}

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
    detach(server_->kept);
    detach(server_->frames);
    if (server_->gc)
        XFreeGC(display_, server_->gc);
}

bool CompositorTargetX11Shm::attach(SharedPixels& shared, std::size_t bytes) {
    XShmSegmentInfo& segment = shared.segment;
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0)
        return false;
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = True;
    const bool mapped = segment.shmaddr != reinterpret_cast<char*>(-1);
    // The server checks the segment as it attaches it (it fails for a remote client): wait for
    // its answer once, here, with a handler of this call's own.
    attachFailed = !mapped;
    if (mapped) {
        XSync(display_, False);
        const auto previous = XSetErrorHandler(onAttachError);
        XShmAttach(display_, &segment);
        XSync(display_, False);
        XSetErrorHandler(previous);
    }
    // Gone once both sides let go, even if the process dies.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (attachFailed) {
        if (mapped)
            shmdt(segment.shmaddr);
        segment = {};
        return false;
    }
    shared.image = XShmCreateImage(display_, server_->visual, static_cast<unsigned>(server_->depth),
                                   ZPixmap, segment.shmaddr, &segment, 1, 1);
    shared.capacity = bytes;
    return shared.image != nullptr;
}

void CompositorTargetX11Shm::detach(SharedPixels& shared) {
    if (!shared.segment.shmaddr)
        return;
    waitForCompletions(requested_);
    XShmDetach(display_, &shared.segment);
    XSync(display_, False);
    shmdt(shared.segment.shmaddr);
    if (shared.image)
        XDestroyImage(shared.image); // frees only the description: the pixels are the segment's
    shared = {};
}

bool CompositorTargetX11Shm::resize(std::int64_t width, std::int64_t height) {
    width_ = std::max<std::int64_t>(width, 0);
    height_ = std::max<std::int64_t>(height, 0);
    const std::size_t wanted =
        2 * std::max(kMinimumSegmentBytes, static_cast<std::size_t>(width_) * 4 * kMinimumBandRows);
    pieces_.clear();
    used_ = 0;
    frameOpen_ = false;
    if (server_->frames.capacity >= wanted)
        return true;
    detach(server_->frames);
    return attach(server_->frames, wanted);
}

SoftwareFramebuffer& CompositorTargetX11Shm::canvasFor(const IntRect& area) {
    const std::size_t rowBytes =
        static_cast<std::size_t>(std::max<std::int64_t>(area.width, 0)) * 4;
    beginFrame();
    if (used_ + rowBytes > halfStart() + halfBytes()) {
        putPieces(); // the half is full: show what it holds, then use it again
        waitForCompletions(requested_);
        used_ = halfStart();
    }
    char* const frames = server_->frames.segment.shmaddr;
    if (!frames || rowBytes == 0 || rowBytes > halfBytes()) {
        canvas_ = SoftwareFramebuffer(0, 0, scale_);
        return canvas_;
    }
    const auto rows =
        std::min<std::int64_t>(area.height, (halfStart() + halfBytes() - used_) / rowBytes);
    const IntRect part{area.x, area.y, area.width, rows};
    auto* pixels = reinterpret_cast<std::uint32_t*>(frames + used_);
    canvas_ = SoftwareFramebuffer::borrowing(pixels, part, area.width, order_);
    canvas_.setScale(scale_);
    pieces_.push_back({part, used_, false});
    used_ += rowBytes * static_cast<std::size_t>(rows);
    return canvas_;
}

void CompositorTargetX11Shm::beginFrame() {
    if (frameOpen_)
        return;
    // A new frame, in the other half: the frame before last, which used it, must be done.
    frameOpen_ = true;
    half_ = 1 - half_;
    waitForCompletions(halfDone_[half_]);
    used_ = halfStart();
}

bool CompositorTargetX11Shm::showKept(std::uint64_t key, const SoftwareFramebuffer& image,
                                      std::int64_t x, std::int64_t y, const IntRect& clip) {
    const std::int64_t width = image.width();
    const std::int64_t height = image.height();
    const IntRect shown = intersection(intersection(clip, {x, y, width, height}), deviceBounds());
    if (keepsNothing_ || image.order() != order_ || !server_->frames.segment.shmaddr ||
        shown != clip || shown.empty() || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max())
        return false;
    if (key != keptKey_) {
        // New pixels: the server must be done reading the old ones, this frame's puts included.
        if (std::any_of(pieces_.begin(), pieces_.end(), [](const Piece& p) { return p.kept; }))
            putPieces();
        waitForCompletions(keptReadBy_);
        const auto bytes = static_cast<std::size_t>(width * height) * 4;
        if (server_->kept.capacity < bytes) {
            detach(server_->kept);
            keptKey_ = 0;
            // Asking again at every frame would cost two round trips each: paint instead.
            keepsNothing_ = !attach(server_->kept, bytes);
            if (keepsNothing_)
                return false;
        }
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        for (std::int64_t row = 0; row < height; ++row)
            std::memcpy(server_->kept.segment.shmaddr + row * rowBytes,
                        image.bytes() + row * image.bytesPerRow(), rowBytes);
        keptKey_ = key;
        keptWidth_ = width;
        keptHeight_ = height;
    }
    beginFrame();
    pieces_.push_back({shown, 0, true, shown.x - x, shown.y - y});
    return true;
}

void CompositorTargetX11Shm::putPieces() {
    bool readsKept = false;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
        const Piece& piece = pieces_[i];
        XImage* image = piece.kept ? server_->kept.image : server_->frames.image;
        int sourceX = 0, sourceY = 0;
        if (piece.kept) {
            image->width = static_cast<int>(keptWidth_);
            image->height = static_cast<int>(keptHeight_);
            image->bytes_per_line = static_cast<int>(keptWidth_ * 4);
            sourceX = static_cast<int>(piece.sourceX);
            sourceY = static_cast<int>(piece.sourceY);
            readsKept = true;
        } else {
            image->width = static_cast<int>(piece.area.width);
            image->height = static_cast<int>(piece.area.height);
            image->bytes_per_line = static_cast<int>(piece.area.width * 4);
            image->data = server_->frames.segment.shmaddr + piece.offset;
        }
        const bool last = i + 1 == pieces_.size();
        XShmPutImage(display_, window_, server_->gc, image, sourceX, sourceY,
                     static_cast<int>(piece.area.x), static_cast<int>(piece.area.y),
                     static_cast<unsigned>(piece.area.width),
                     static_cast<unsigned>(piece.area.height), last ? True : False);
    }
    if (!pieces_.empty())
        halfDone_[half_] = ++requested_;
    if (readsKept)
        keptReadBy_ = requested_;
    pieces_.clear();
    XFlush(display_);
}

void CompositorTargetX11Shm::present(const std::vector<IntRect>&) {
    putPieces();
    frameOpen_ = false;
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
