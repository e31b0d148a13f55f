#pragma once

// The saver's one view: a figure that bounces along diagonals, fed by a queue of decoded tokens.
//
// Flow of control (every member runs on the main thread):
//   make / makeFromArchive -> base init -> commonInit -> topUpQueue (five fetches start)
//   startAnimation -> startNextLeg -> layer animation "leg" ...
//   animationDidStop(finished) -> legFinished -> reflect, swap, topUpQueue, startNextLeg
//   fetch completion (session thread) -> main queue -> finishFetch -> show / queue / retryLater
//   stopAnimation -> remove "leg", cancel every fetch in flight

#include "Zibbles/LoadedZibble.h"
#include "platform/Animation.h"
#include "platform/HttpSession.h"
#include "platform/Layer.h"
#include "platform/ScreenSaverView.h"
#include "platform/ViewRegistry.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zibbles {

using platform::Point;
using platform::Size;

// A leg: where the sprite's origin corner ends up, and how long it takes to get there.
struct LegPlan {
    Point target;
    double duration = 0.0; // seconds, at least the minimum leg duration
};

class ZibblesBounceView final : public platform::ScreenSaverView,
                                public platform::AnimationDelegate {
  public:
    static constexpr const char* className = "ZibblesBounceView";
    // The grey of the background, also that of contact sheets drawn outside a view.
    static constexpr double backgroundWhite = 0.1;

    // initWithFrame:isPreview: and initWithCoder:. Null when the base initialisation fails.
    static std::shared_ptr<ZibblesBounceView> initWithFrame(const platform::Environment& env,
                                                            platform::Rect frame, bool isPreview);
    static std::shared_ptr<ZibblesBounceView> initWithCoder(const platform::Environment& env,
                                                            const platform::ViewArchive& archive);

    explicit ZibblesBounceView(const platform::Environment& env); // use the factories
    ~ZibblesBounceView() override;

    void startAnimation() override;
    void stopAnimation() override;
    void animationDidStop(const platform::BasicAnimation& animation, bool finished) override;

    // The decoders, under the view's own name (thin, over the free functions).
    static std::optional<std::string> decodeAbiString(std::string_view hex);
    static std::optional<std::string> decodeDataURIToSVG(std::string_view tokenUri);
    static std::vector<Pixel> parsePixels(std::string_view svg);
    static Rect contentBounds(const std::vector<Pixel>& pixels);

    // Pure leg geometry: W, H, sprite size s, origin corner p, velocity v (points per second).
    static std::optional<LegPlan> planLeg(double width, double height, double spriteSize, Point p,
                                          Size v);
    static Size reflectVelocity(double width, double height, double spriteSize, Point p, Size v);

    // Fields, in declaration order. Plain stored fields: tests and the supply read them directly.
    double spriteSize = 160.0;
    Point position{0.0, 0.0};
    Size velocity{4.0, 4.0};
    std::optional<Point> legTarget;
    bool isRunning = false;
    const std::shared_ptr<platform::Layer> spriteLayer;
    std::optional<LoadedZibble> current;
    std::deque<LoadedZibble> queue;
    const std::int64_t queueTarget = 4;
    bool wantsSwap = false;
    std::set<TokenId> pending;
    std::map<TokenId, std::shared_ptr<platform::DataTask>> inflightTasks;

    // Motion.
    void startNextLeg();
    void legFinished();
    // Sprite.
    void refreshSprite();
    // Supply.
    void topUpQueue();
    void finishFetch(TokenId tokenId, std::optional<LoadedZibble> loaded,
                     std::optional<platform::HttpError> error);
    void retryLater();
    void fetchOne();

  private:
    void commonInit();
    void swapFigure();
    void scheduleRetry(double delaySeconds);
    void retryDue();

    // When the one waiting retry is due (main-queue clock, seconds); none while nothing waits.
    std::optional<double> retryDueAt;
};

// Registers "ZibblesBounceView" with a host's registry.
void registerZibblesBounceView(platform::ViewRegistry& registry);

} // namespace zibbles
