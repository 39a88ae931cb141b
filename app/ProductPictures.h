#pragma once

#include <QImage>
#include <QPixmap>
#include <vector>

namespace selvanix {

inline constexpr int kPictureSize = 200;

// The product picture of a picture index (0..6): 200 x 200, 24-bit, drawn by code.
QImage productPicture(int pictureIndex);

// The picture list DbObrazky: the seven pictures in picture-index order.
std::vector<QPixmap> productPictures();

}  // namespace selvanix
