// The whole picture on the clipboard: what Copy offers other programs, and
// what Paste takes from them.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QStringList>

#include <memory>

namespace Lumivex {

// The clipboard types Paste takes, best first: the formats that Open reads.
const QStringList &pasteTypes();

// The picture that data holds, decoded as readImage() decodes a file. The
// list of types is asked for once and one type's bytes once, since every
// question to another program's clipboard may wait out the platform's
// timeout. A null image if there is none or it cannot be decoded.
QImage readPastedImage(const QMimeData *data);

// Clipboard data for a picture: PNG first, and BMP. They are encoded in the
// background from construction, a PNG stored as it is first, so that a
// request from another program waits at most for what is left of the
// fastest encoding of its type.
class EncodedImageData : public QMimeData
{
public:
    explicit EncodedImageData(const QImage &image);
    ~EncodedImageData() override;

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

    struct Encodings;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    // Shared with the encoding threads, which may outlive this.
    std::shared_ptr<Encodings> encodings;
};

} // namespace Lumivex
