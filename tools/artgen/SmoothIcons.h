#pragma once
// The icons' 32-bit images with alpha, at any size: the same pictures as the
// 16-colour ones, drawn from shapes on a 32-unit grid and smoothed by
// sampling every pixel 16 times.
#include <vector>

#include "Image.h"

namespace buzonix::artgen {

// Sizes of the 32-bit images of every icon.
inline const std::vector<int> kSmoothIconSizes = {20, 24, 32, 40, 48, 64};

enum class IconPicture { Envelope, MailboxEmpty, MailboxMail, MailboxError, MailboxApop };

RgbaImage drawSmoothIcon(IconPicture picture, int size);

} // namespace buzonix::artgen
