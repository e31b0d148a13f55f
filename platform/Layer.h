#pragma once

// Implemented features:
//  [X] Model properties: bounds, anchor point, position, contents (an Image), contents scale,
//      contents gravity (resize only), magnification filter, background colour, sublayers.
//  [X] Animations by key. Adding under a key replaces the animation there, and the replaced one's
//      delegate hears finished = false; removeAnimationForKey likewise. An animation that runs to
//      its end is removed at its end time and its delegate hears finished = true. Callbacks come
//      through the main queue, at the end time, whether or not any frame is drawn.
//  [X] The presentation position at a time t: the animation under any key whose key path is
//      "position" and which is running at t, else the model position.
//  [X] A change counter that renderers use to find out what changed (damage tracking).
//  [ ] Implicit animations: setting a property never animates, so a transaction that disables
//      actions changes nothing here.
//  [ ] Transforms, opacity, masks, sublayer geometry beyond position and bounds.

#include "platform/Animation.h"
#include "platform/Color.h"
#include "platform/Geometry.h"
#include "platform/Image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zibbles::platform {

class MainQueue;
class Trace;

enum class ContentsGravity { Resize };
enum class MagnificationFilter { Nearest, Linear };

// Main thread only, every member.
class Layer : public std::enable_shared_from_this<Layer> {
  public:
    // The queue delivers animation callbacks and gives the time; the trace may be null.
    static std::shared_ptr<Layer> make(std::shared_ptr<MainQueue> queue,
                                       std::shared_ptr<Trace> trace = nullptr);
    Layer(std::shared_ptr<MainQueue> queue, std::shared_ptr<Trace> trace);
    ~Layer();

    Rect bounds() const { return bounds_; }
    void setBounds(Rect r);
    Point anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(Point p);
    // The model position: where the anchor point sits in the superlayer.
    Point position() const { return position_; }
    void setPosition(Point p);
    const ImageRef& contents() const { return contents_; }
    void setContents(ImageRef image);
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double s);
    ContentsGravity contentsGravity() const { return gravity_; }
    void setContentsGravity(ContentsGravity g);
    MagnificationFilter magnificationFilter() const { return magnification_; }
    void setMagnificationFilter(MagnificationFilter f);
    std::optional<Color> backgroundColor() const { return background_; }
    void setBackgroundColor(std::optional<Color> c);

    void addSublayer(std::shared_ptr<Layer> layer);
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }

    void addAnimation(std::shared_ptr<BasicAnimation> animation, const std::string& key);
    // Removing a key with no animation does nothing.
    void removeAnimationForKey(const std::string& key);
    std::shared_ptr<const BasicAnimation> animationForKey(const std::string& key) const;

    // Where the anchor point is shown at clock time t.
    Point presentationPosition(double t) const;
    // The frame shown at time t: bounds' size placed by the presentation position and anchor.
    Rect presentationFrame(double t) const;
    // True while an animation is still running at time t (the layer moves).
    bool isAnimating(double t) const;
    // Bumped by every model change; renderers compare it with what they last drew.
    std::uint64_t changeCount() const { return changeCount_; }
    // The layer's id in the trace's events (0 without a trace).
    std::uint64_t traceId() const { return traceId_; }

  private:
    struct Running {
        std::shared_ptr<BasicAnimation> animation;
        std::uint64_t generation;
    };
    void touched() { ++changeCount_; }
    void finishLater(std::shared_ptr<BasicAnimation> animation, bool finished);
    void onEndTimer(const std::string& key, std::uint64_t generation);
    void traceEnded(const std::string& key, bool finished) const;

    std::shared_ptr<MainQueue> queue_;
    std::shared_ptr<Trace> trace_;
    Rect bounds_;
    Point anchorPoint_{0.5, 0.5};
    Point position_;
    ImageRef contents_;
    double contentsScale_ = 1.0;
    ContentsGravity gravity_ = ContentsGravity::Resize;
    MagnificationFilter magnification_ = MagnificationFilter::Linear;
    std::optional<Color> background_;
    std::vector<std::shared_ptr<Layer>> sublayers_;
    std::map<std::string, Running> animations_;
    std::uint64_t nextGeneration_ = 1;
    std::uint64_t changeCount_ = 0;
    std::uint64_t traceId_ = 0;
};

// A transaction groups model changes. There are no implicit animations here, so disabling
// actions is recorded but changes nothing; it is kept so that callers read as they should.
class Transaction {
  public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void setDisableActions(bool disable) { disableActions_ = disable; }
    bool disableActions() const { return disableActions_; }

  private:
    bool disableActions_ = false;
};

} // namespace zibbles::platform
