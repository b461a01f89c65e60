#include "InfoPicture.h"

namespace buzonix::artgen {

IndexedImage renderInfoPicture() {
    return IndexedImage(kInfoWidth, kInfoHeight, 5);
}

} // namespace buzonix::artgen
