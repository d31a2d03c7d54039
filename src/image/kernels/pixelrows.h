// Per-format row adapters between scanlines and rows of 0xAARRGGBB words.
//
// A fetch turns count pixels of a scanline into words whose red, green and
// blue are exactly what QImage::pixelColor reports for them (the alpha byte
// is not relied on). A store writes opaque words 0xFFRRGGBB into a scanline
// with exactly the bytes QImage::setPixelColor(x, y, QColor(r, g, b)) leaves.
// Formats without an adapter here go through pixelColor/setPixelColor.
#pragma once

#include <QtGlobal>

namespace Lumivex {
namespace PixelRows {

// Builds the table the premultiplied fetches use, once per process. Called
// before rows are shared out to threads, so none of them waits for it.
void prepareUnpremultiply();

// ARGB32_Premultiplied. pixelColor widens the pixel to 16 bits per channel,
// unpremultiplies there and rounds back, which a table indexed by alpha and
// premultiplied value reproduces (built once, from pixelColor itself, and
// covering invalid pixels whose value exceeds their alpha). in may equal out.
void fetchArgb32Premultiplied(const quint32 *in, quint32 *out, int count);
// Whether pixelColor reports an opaque ARGB32_Premultiplied pixel's channels
// as they are stored.
bool opaqueUnchanged();

// RGBX8888 and RGBA8888: bytes R, G, B, A. The store serves the
// premultiplied variant too, since an opaque pixel is the same in both.
void fetchRgba8888(const uchar *in, quint32 *out, int count);
void fetchRgba8888Premultiplied(const uchar *in, quint32 *out, int count);
void storeRgba8888(const quint32 *in, uchar *out, int count);

// RGB888 (bytes R, G, B) and BGR888 (bytes B, G, R).
void fetchRgb888(const uchar *in, quint32 *out, int count);
void storeRgb888(const quint32 *in, uchar *out, int count);
void fetchBgr888(const uchar *in, quint32 *out, int count);
void storeBgr888(const quint32 *in, uchar *out, int count);

// RGBX64, RGBA64 and RGBA64_Premultiplied: four 16-bit channels R, G, B, A.
void fetchRgba64(const uchar *in, quint32 *out, int count);
void fetchRgba64Premultiplied(const uchar *in, quint32 *out, int count);
void storeRgba64(const quint32 *in, uchar *out, int count);

} // namespace PixelRows
} // namespace Lumivex
