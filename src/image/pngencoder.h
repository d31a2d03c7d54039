// Writing PNG files on several cores at once.
#pragma once

#include <QByteArray>
#include <QImage>

#include <atomic>

namespace Lumivex {

// True if encodePng() writes this format itself (8-bit grey, RGB and RGBA
// pictures): Grayscale8 (written as grey), RGB32, RGB888 and RGBX8888 (as
// RGB), ARGB32, ARGB32_Premultiplied, RGBA8888 and RGBA8888_Premultiplied (as
// RGBA, the premultiplied ones converted back as QImage::convertToFormat does).
bool encodesPng(QImage::Format format);

// The PNG file for image, or a null QByteArray if its format is not one
// encodesPng() takes or if *cancelled became true meanwhile (checked between
// strips). Thread-safe; may be called from any thread, including a
// QThreadPool thread, without deadlock.
//
// The file holds the pixels, the colour space as an ICC profile (when
// image.colorSpace() is valid) and the resolution (when both dots-per-metre
// are positive); QImageReader reads back the same pixels, in the same format,
// as from the file QImageWriter makes of the same image. Text and the offset
// are not written.
//
// Fastest stores the rows as they are, neither filtered nor compressed: a
// file about as big as the pixels, made at the speed of copying them, for a
// reader that wants the picture at once (the clipboard) rather than small.
enum class PngSize { Smallest, Fastest };
QByteArray encodePng(const QImage &image, const std::atomic<bool> *cancelled = nullptr,
                     PngSize size = PngSize::Smallest);

} // namespace Lumivex
