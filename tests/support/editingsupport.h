// Shared helpers for the editing tests: the clipboard, the document as the
// sliders show it, and checks over every pixel of an image or of the view.
#pragma once

#include "testsupport.h"

#include "clipboardimage.h"
#include "imageoperations.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QString>

namespace TestSupport {

inline QClipboard *clipboard()
{
    return QGuiApplication::clipboard();
}

// Puts bytes on the clipboard as another program would, under type.
inline void offer(const QByteArray &bytes, const QString &type = QStringLiteral("image/png"))
{
    auto *data = new QMimeData;
    data->setData(type, bytes);
    clipboard()->setMimeData(data);
}

// Puts picture on the clipboard as Copy does.
inline void offer(const QImage &picture)
{
    clipboard()->setMimeData(new Lumivex::EncodedImageData(picture));
}

// The picture on the clipboard as Paste reads it.
inline QImage clipboardImage()
{
    return Lumivex::readPastedImage(clipboard()->mimeData());
}

inline QImage withSliders(const QImage &document, int brightness, int contrast, int saturation)
{
    QImage shown;
    Lumivex::Reference::adjustImage(document, shown, {brightness, contrast, saturation});
    return shown;
}

// The document is `document`, shown with the current slider positions.
#define COMPARE_DOCUMENT(access, document) \
    do { \
        COMPARE_IMAGES((access).workingImage(), (document)); \
        COMPARE_IMAGES((access).adjustedImage(), \
                       TestSupport::withSliders((document), (access).brightnessSlider()->value(), \
                                                (access).contrastSlider()->value(), \
                                                (access).saturationSlider()->value())); \
    } while (false)

inline bool allPixels(const QImage &image, bool (*test)(QRgb))
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!test(image.pixel(x, y)))
                return false;
        }
    }
    return true;
}

inline bool opaque(QRgb p)
{
    return qAlpha(p) == 255;
}

inline bool gray(QRgb p)
{
    return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
}

// Whether the view shows no picture: its rendering is one flat colour.
inline bool viewBlank(MainWindowTestAccess &access)
{
    const QImage shot = access.imageLabel()->grab().toImage();
    const QRgb first = shot.pixel(0, 0);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

} // namespace TestSupport
