#pragma once
// The envelope of the new-mail notice: a thin box whose front carries the V
// of the flap and whose back is a plain panel, and the twelve frames of its
// turn about the vertical axis.
#include "Image.h"
#include "Scene.h"

namespace buzonix::artgen {

constexpr int kNoticeFrameCount = 12;
constexpr int kNoticeFrameWidth = 148;
constexpr int kNoticeFrameHeight = 112;

// Proportions of the envelope in its own frame (width 1 along x, the front
// facing +z, the flap along the top edge).
struct EnvelopeSize {
    double width = 1.0;
    double height = 0.6;
    double thickness = 0.07;
};

Solid makeEnvelope(EnvelopeSize size, Mat3 rotation, Vec3 position);

// Frame k shows the envelope turned k * 30 degrees from front face-on, on an
// index-0 black field, quantised to the colour cube.
IndexedImage renderNoticeFrame(int frame);

} // namespace buzonix::artgen
