#include "imageview.h"

#include "parallelrows.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <utility>

#ifdef LUMIVEX_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace Lumivex {

namespace {

// The profile that colour-managed X11 desktops put on the root window for
// its first screen (the _ICC_PROFILE property of the ICC Profiles in X
// convention), or an invalid colour space where there is none. Qt itself
// tells no screen's colour space, and other platforms are left at sRGB.
QColorSpace x11ScreenProfile()
{
#ifdef LUMIVEX_HAVE_XCB
    const auto *x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return QColorSpace();
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)>
            atom(xcb_intern_atom_reply(connection,
                                       xcb_intern_atom(connection, 1, 12, "_ICC_PROFILE"), nullptr),
                 &std::free);
    if (!screen || !atom || atom->atom == XCB_ATOM_NONE)
        return QColorSpace();
    // Profiles are a few kilobytes; 4 MB (in 32-bit units) is far beyond any.
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>
            property(xcb_get_property_reply(connection,
                                            xcb_get_property(connection, 0, screen->root,
                                                             atom->atom, XCB_ATOM_ANY, 0, 1 << 20),
                                            nullptr),
                     &std::free);
    if (!property || property->format != 8)
        return QColorSpace();
    return QColorSpace::fromIccProfile(
            QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())),
                       xcb_get_property_value_length(property.get())));
#else
    return QColorSpace();
#endif
}

} // namespace

ImageView::ImageView(const QImage &shownPicture, QWidget *parent)
    : QLabel(parent), picture(shownPicture)
{ }

QSize ImageView::deviceGrid() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
}

QRect ImageView::deviceRect(const QRect &logical) const
{
    const qreal ratio = devicePixelRatioF();
    const QRectF scaled(logical.x() * ratio, logical.y() * ratio, logical.width() * ratio,
                        logical.height() * ratio);
    return scaled.toAlignedRect() & QRect(QPoint(0, 0), deviceGrid());
}

QRect ImageView::visibleDeviceRect() const
{
    QRect visible = rect();
    if (const QWidget *port = parentWidget())
        visible &= QRect(mapFrom(port, QPoint(0, 0)), port->size());
    return deviceRect(visible);
}

Reduction ImageView::plannedReduction(const QSize &pictureSize) const
{
    const QSize grid = deviceGrid();
    if (grid.isEmpty() || pictureSize.width() <= grid.width()
        || pictureSize.height() < grid.height())
        return Reduction();
    return Reduction(pictureSize, grid, visibleDeviceRect());
}

void ImageView::showReduction(const Reduction &planned, QImage reduced)
{
    if (reduced.isNull())
        return;
    // Taken over, not shared, so that a picture converted for the screen is
    // converted where it lies: shared, it was copied first (a slider step
    // at zoom 0.168 on a 6000x4000 photo tagged Adobe RGB took 10-12% longer
    // than on an untagged one so, 7-9% without the copy).
    shown = {picture.cacheKey(), deviceGrid(), planned.target(), forScreen(std::move(reduced))};
}

QColorSpace ImageView::screenColorSpace() const
{
    // Asked once per view: the answer is a round trip to the display server.
    if (!screenSpace.isValid()) {
        screenSpace = x11ScreenProfile();
        if (!screenSpace.isValid())
            screenSpace = QColorSpace(QColorSpace::SRgb);
    }
    return screenSpace;
}

QImage ImageView::forScreen(QImage image, const QRect &part) const
{
    const QRect area = part.isNull() ? image.rect() : part;
    const QColorSpace source = image.colorSpace();
    const QColorSpace target = screenColorSpace();
    if (!source.isValid() || source == target)
        return area == image.rect() ? image : image.copy(area);
    // One transform per colour space: building it parses both profiles.
    if (source != transformSource) {
        transform = source.transformationToColorSpace(target);
        conversion = DisplayConversion(source, target);
        transformSource = source;
    }
    if (conversion.isValid() && image.format() == QImage::Format_RGB32) {
        // Through the kernels, from the image's rows into the result's, in
        // bands of rows on the thread pool (a 1000x650 view from Adobe RGB,
        // one thread: 3.6 ns a pixel through Qt's transform, 1.5 so; a
        // slider step at zoom 1 on a 6000x4000 Adobe RGB photo took 19-23%
        // longer than on an untagged one through Qt's, 9-15% so). The whole
        // image is converted where it lies (taken over, so that writing to
        // it makes no copy); a part, into an image of its own, with no copy
        // of the part first.
        QImage result;
        if (area == image.rect())
            result.swap(image);
        else
            result = QImage(area.size(), QImage::Format_RGB32);
        if (result.isNull())
            return result;
        uchar *to = result.bits();
        const QImage &in = image.isNull() ? result : image;
        const uchar *from = in.constBits() + area.y() * in.bytesPerLine() + qsizetype(area.x()) * 4;
        const qsizetype fromBytesPerLine = in.bytesPerLine();
        const qsizetype toBytesPerLine = result.bytesPerLine();
        forEachSegment(area.height(), qint64(area.width()) * area.height() * 3,
                       [&](int y0, int y1) {
                           for (int y = y0; y < y1; ++y) {
                               conversion.convert(reinterpret_cast<const uint32_t *>(
                                                          from + y * fromBytesPerLine),
                                                  reinterpret_cast<uint32_t *>(
                                                          to + y * toBytesPerLine),
                                                  size_t(area.width()));
                           }
                       });
        return result;
    }
    QImage converted = area == image.rect() ? image : image.copy(area);
    // Qt converts these formats where they lie; others it would convert
    // into a copy, which a band cannot hand back.
    const QImage::Format format = converted.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
        && format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGBX64
        && format != QImage::Format_RGBA64 && format != QImage::Format_RGBA64_Premultiplied)
        converted.convertTo(converted.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                        : QImage::Format_RGB32);
    // In bands of rows on the thread pool, each converted where it lies: a
    // window's worth of pixels takes a few milliseconds to convert, about as
    // long as an adjustment of ten times as many (so they count tenfold).
    uchar *bits = converted.bits();
    const qsizetype bytesPerLine = converted.bytesPerLine();
    const qint64 cost = qint64(converted.width()) * converted.height() * 10;
    forEachSegment(converted.height(), cost, [&](int y0, int y1) {
        QImage band(bits + y0 * bytesPerLine, converted.width(), y1 - y0, bytesPerLine,
                    converted.format());
        band.applyColorTransform(transform);
    });
    return converted;
}

void ImageView::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (picture.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    const qreal ratio = devicePixelRatioF();
    const QSize grid = deviceGrid();

    if (picture.width() > grid.width() && picture.height() >= grid.height()) {
        // Below zoom 1: the reduction of the exposed device pixels, drawn one
        // for one.
        const QRect exposed = deviceRect(event->rect());
        if (shown.key != picture.cacheKey() || shown.grid != grid
            || !shown.rect.contains(exposed)) {
            // A new picture or zoom reduces what is visible. A scroll that
            // leaves it reduces a quarter of the visible size more on each
            // side, so that the next scroll steps only draw what is already
            // reduced, and a zoom step does not pay for the scrolling that
            // may never come (it would cost twice as much).
            const QRect visible = visibleDeviceRect();
            const bool scrolled = shown.key == picture.cacheKey() && shown.grid == grid;
            const int dx = scrolled ? visible.width() / 4 : 0;
            const int dy = scrolled ? visible.height() / 4 : 0;
            const QRect part =
                    (visible.adjusted(-dx, -dy, dx, dy) | exposed) & QRect(QPoint(0, 0), grid);
            shown = {picture.cacheKey(), grid, part, forScreen(reduceArea(picture, grid, part))};
        }
        QImage image = shown.image;
        image.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(shown.rect.x() / ratio, shown.rect.y() / ratio), image);
        return;
    }

    painter.setRenderHint(QPainter::SmoothPixmapTransform, size() != picture.size());
    const QColorSpace source = picture.colorSpace();
    // Pictures whose rows the reduction reads itself are drawn through the
    // words it makes of them (a slider step at zoom 1 on a 6000x4000 RGBX64
    // picture: 21.8-22.6 ms drawn by Qt, 20.5-21.2 so; tagged Adobe RGB,
    // converted by Qt, 23.9-24.8 ms, by the kernels 21.3-22.3).
    const bool fetched = readsRowsItself(picture.format());
    if (!fetched && (!source.isValid() || source == screenColorSpace())) {
        painter.drawImage(QRectF(rect()), picture, QRectF(picture.rect()));
        return;
    }
    // At zoom 1 and above, the picture pixels under the exposed part (and
    // one more around them, which smooth magnification blends in) are
    // fetched or converted, and drawn where the whole picture would put
    // them.
    const double sx = double(width()) / picture.width();
    const double sy = double(height()) / picture.height();
    const QRect exposed = event->rect();
    const QRect under = QRect(QPoint(int(std::floor(exposed.left() / sx)) - 1,
                                     int(std::floor(exposed.top() / sy)) - 1),
                              QPoint(int(std::ceil((exposed.right() + 1) / sx)) + 1,
                                     int(std::ceil((exposed.bottom() + 1) / sy)) + 1))
                        & picture.rect();
    const QImage part =
            fetched ? forScreen(premultipliedPart(picture, under)) : forScreen(picture, under);
    painter.drawImage(QRectF(under.x() * sx, under.y() * sy, under.width() * sx,
                             under.height() * sy),
                      part, QRectF(part.rect()));
}

} // namespace Lumivex
