#pragma once

// What a leg is called on the sprite layer: the view adds it and stopAnimation removes it.

namespace zibbles {

inline constexpr const char* legAnimationKey = "leg";
inline constexpr const char* legAnimationKeyPath = "position";

} // namespace zibbles
