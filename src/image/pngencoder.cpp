// The PNG writer is our own rather than libpng's or libspng's because neither
// can compress one image on several cores: each feeds a single zlib stream
// row after row. Here the rows are cut into strips, and each strip is
// filtered and deflated on its own thread into a piece of one zlib stream:
// its compressor is primed with the 32 KiB of filtered bytes before the
// strip, so that matches reach back across the cut as if one compressor had
// done it all, and it ends on a flush to a byte boundary, so that the pieces
// simply follow each other. Their Adler-32 sums are joined in order.
#include "pngencoder.h"

#include <QColorSpace>
#include <QGlobalStatic>
#include <QSemaphore>
#include <QThreadPool>

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace Lumivex {

namespace {

// How each strip is compressed: with LZ77 matches at zlib's default level and
// the strategy libpng takes for filtered rows (Z_FILTERED), or with runs
// alone (Z_RLE, where the level makes no difference), whichever makes the
// strip's first batch smaller doing the rest of the strip. Measured on a
// 6000x4000 photo-like picture (gradients, texture, sensor-like noise;
// bench_save.cpp), where Qt's writer (libpng, as above) makes 33.35 MB:
// matches at levels 1, 3 and 6 with zlib's default strategy made 39.2, 37.8
// and 37.1 MB, as in noise short matches cost more than the literals they
// replace; Z_FILTERED at level 6 made 33.30 MB, runs alone 32.96 MB in a
// fifth of its CPU time (1.0 s against 4.9 s at level 4 and 9.8 s at 6, two
// threads together). On pictures whose rows repeat (drawings, screenshots)
// matches at level 1 or 3 made files 1.3 to 2.8 times Qt's, at level 6
// about Qt's, so the faster levels are not used at all.
constexpr int DeflateLevel = 6;

// A strip holds at least this many filtered bytes, so that the flush that
// ends it and the priming that starts the next cost nothing noticeable, and
// there are about this many strips per thread, so that a thread that starts
// late or runs slowly on a busy machine does less of the work. At most this
// many bytes, so that no strip's deflated bytes come near a chunk's limit.
constexpr qsizetype MinStripBytes = qsizetype(512) << 10;
constexpr int StripsPerThread = 4;
constexpr qsizetype MaxStripBytes = qsizetype(64) << 20;
// Rows are filtered in batches of about this many bytes before they are
// deflated, so that the batch stays in the cache between the two.
constexpr qsizetype BatchBytes = qsizetype(256) << 10;
constexpr qsizetype WindowBytes = qsizetype(32) << 10;
// The longest row taken, so that a strip's bytes fit zlib's 32-bit counts.
constexpr qsizetype MaxRowBytes = qsizetype(1) << 30;

// The encoder's own threads: a caller running on another pool's thread never
// waits for a slot on its own pool, and a caller on this one (which runs only
// strips) never happens. The caller takes strips too, so that it finishes
// even when every thread here is busy with another image.
QThreadPool *encoderPool()
{
    static QThreadPool pool;
    return &pool;
}

enum ColourType : uchar { Grey = 0, Rgb = 2, Rgba = 6 };

struct Layout
{
    ColourType colourType;
    int bytesPerPixel;
};

Layout layoutOf(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
        return {Grey, 1};
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_RGBX8888:
        return {Rgb, 3};
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return {Rgba, 4};
    default:
        return {Grey, 0};
    }
}

// Row y of image as PNG bytes (R, G, B[, A] or grey) into out.
void packRow(const QImage &image, int y, uchar *out)
{
    const qsizetype width = image.width();
    const uchar *line = image.constScanLine(y);
    switch (image.format()) {
    case QImage::Format_RGB32: {
        const auto *pixels = reinterpret_cast<const QRgb *>(line);
        for (qsizetype x = 0; x < width; ++x) {
            out[3 * x] = uchar(qRed(pixels[x]));
            out[3 * x + 1] = uchar(qGreen(pixels[x]));
            out[3 * x + 2] = uchar(qBlue(pixels[x]));
        }
        return;
    }
    case QImage::Format_ARGB32: {
        const auto *pixels = reinterpret_cast<const QRgb *>(line);
        for (qsizetype x = 0; x < width; ++x) {
            out[4 * x] = uchar(qRed(pixels[x]));
            out[4 * x + 1] = uchar(qGreen(pixels[x]));
            out[4 * x + 2] = uchar(qBlue(pixels[x]));
            out[4 * x + 3] = uchar(qAlpha(pixels[x]));
        }
        return;
    }
    case QImage::Format_RGBX8888:
        for (qsizetype x = 0; x < width; ++x) {
            out[3 * x] = line[4 * x];
            out[3 * x + 1] = line[4 * x + 1];
            out[3 * x + 2] = line[4 * x + 2];
        }
        return;
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888_Premultiplied: {
        // One row at a time through Qt's own conversion, which QImageWriter
        // applies to the whole image: the same unpremultiplied values. A row
        // is too short for the conversion to start threads of its own.
        const bool argb = image.format() == QImage::Format_ARGB32_Premultiplied;
        const QImage row =
                QImage(line, image.width(), 1, image.bytesPerLine(), image.format())
                        .convertToFormat(argb ? QImage::Format_ARGB32 : QImage::Format_RGBA8888);
        if (argb)
            packRow(row, 0, out);
        else
            std::memcpy(out, row.constScanLine(0), size_t(width) * 4);
        return;
    }
    default: // Grayscale8, RGB888, RGBA8888: already in PNG's order
        std::memcpy(out, line, size_t(width) * size_t(layoutOf(image.format()).bytesPerPixel));
        return;
    }
}

// libpng's measure of how well a filtered row will compress: the sum of its
// bytes taken as signed.
quint64 signedSum(const uchar *row, qsizetype n)
{
    quint64 sum = 0;
    for (qsizetype i = 0; i < n; ++i)
        sum += row[i] < 128 ? row[i] : 256 - row[i];
    return sum;
}

// Filters the n bytes of row, whose previous row (zeros above the first) is
// prior, with the filter of the five whose signed sum is least (the first of
// equals), into out: the filter's number, then n bytes. scratch holds 4 n.
void filterRow(const uchar *__restrict row, const uchar *__restrict prior, qsizetype n, int bpp,
               uchar *__restrict scratch, uchar *__restrict out)
{
    uchar *sub = scratch;
    uchar *up = scratch + n;
    uchar *average = scratch + 2 * n;
    uchar *paeth = scratch + 3 * n;
    const qsizetype head = std::min<qsizetype>(bpp, n);
    for (qsizetype i = 0; i < head; ++i) {
        sub[i] = row[i];
        up[i] = uchar(row[i] - prior[i]);
        average[i] = uchar(row[i] - (prior[i] >> 1));
        paeth[i] = uchar(row[i] - prior[i]);
    }
    for (qsizetype i = head; i < n; ++i)
        sub[i] = uchar(row[i] - row[i - bpp]);
    for (qsizetype i = head; i < n; ++i)
        up[i] = uchar(row[i] - prior[i]);
    for (qsizetype i = head; i < n; ++i)
        average[i] = uchar(row[i] - ((row[i - bpp] + prior[i]) >> 1));
    for (qsizetype i = head; i < n; ++i) {
        const int a = row[i - bpp];
        const int b = prior[i];
        const int c = prior[i - bpp];
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        const int predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        paeth[i] = uchar(row[i] - predicted);
    }
    const uchar *candidates[5] = {row, sub, up, average, paeth};
    int best = 0;
    quint64 least = signedSum(row, n);
    for (int filter = 1; filter < 5; ++filter) {
        const quint64 sum = signedSum(candidates[filter], n);
        if (sum < least) {
            least = sum;
            best = filter;
        }
    }
    out[0] = uchar(best);
    std::memcpy(out + 1, candidates[best], size_t(n));
}

// One strip's share of the zlib stream.
struct Strip
{
    int firstRow = 0;
    int endRow = 0;
    std::vector<uchar> deflated;
    uLong adler = 1;
    uLong filteredBytes = 0;
    uLong crc = 0; // of deflated
};

struct Encoding
{
    QImage image;
    const std::atomic<bool> *cancelled = nullptr;
    int bytesPerPixel = 0;
    std::vector<Strip> strips;
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    QSemaphore done;
};

// Filters rows [y0, y1) of the image, each after its packed previous row
// (zeros before row 0), into out; prior and row hold a packed row each.
class RowFilter
{
public:
    RowFilter(const QImage &image, int bytesPerPixel)
        : m_image(image),
          m_bpp(bytesPerPixel),
          m_rowBytes(qsizetype(image.width()) * bytesPerPixel),
          m_prior(size_t(m_rowBytes)),
          m_row(size_t(m_rowBytes)),
          m_scratch(size_t(4 * m_rowBytes))
    { }
    qsizetype filteredRowBytes() const { return m_rowBytes + 1; }
    // Filters rows [y0, y1) into out, which holds (y1 - y0) filtered rows.
    void filter(int y0, int y1, uchar *out)
    {
        if (y0 != m_nextRow) {
            if (y0 == 0)
                std::fill(m_prior.begin(), m_prior.end(), uchar(0));
            else
                packRow(m_image, y0 - 1, m_prior.data());
        }
        for (int y = y0; y < y1; ++y) {
            packRow(m_image, y, m_row.data());
            filterRow(m_row.data(), m_prior.data(), m_rowBytes, m_bpp, m_scratch.data(), out);
            out += filteredRowBytes();
            m_prior.swap(m_row);
        }
        m_nextRow = y1;
    }

private:
    const QImage &m_image;
    int m_bpp;
    qsizetype m_rowBytes;
    std::vector<uchar> m_prior, m_row, m_scratch;
    int m_nextRow = -1;
};

// A raw deflate stream into a buffer that grows as it needs to.
class Compressor
{
public:
    Compressor() = default;
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;
    ~Compressor()
    {
        if (m_started)
            deflateEnd(&m_stream);
    }
    // Starts the stream at strategy with the bytes that precede it, making
    // room for about expected bytes of input.
    bool start(int strategy, const uchar *dictionary, uInt dictionarySize, uLong expected)
    {
        if (deflateInit2(&m_stream, DeflateLevel, Z_DEFLATED, -15, 8, strategy) != Z_OK)
            return false;
        m_started = true;
        if (dictionarySize > 0
            && deflateSetDictionary(&m_stream, dictionary, dictionarySize) != Z_OK)
            return false;
        m_out.resize(deflateBound(&m_stream, expected) + 64);
        m_stream.next_out = m_out.data();
        m_stream.avail_out = uInt(m_out.size());
        return true;
    }
    // Compresses size bytes of data, then flushes as flush says.
    bool put(const uchar *data, uInt size, int flush)
    {
        m_stream.next_in = data;
        m_stream.avail_in = size;
        for (;;) {
            if (m_stream.avail_out == 0) {
                const size_t used = m_out.size();
                m_out.resize(used + used / 4 + 4096);
                m_stream.next_out = m_out.data() + used;
                m_stream.avail_out = uInt(m_out.size() - used);
            }
            const int result = deflate(&m_stream, flush);
            if (flush == Z_FINISH ? result == Z_STREAM_END
                                  : m_stream.avail_in == 0 && m_stream.avail_out != 0)
                return true;
            if (result != Z_OK && !(result == Z_BUF_ERROR && m_stream.avail_out == 0))
                return false;
        }
    }
    uLong written() const { return m_stream.total_out; }
    std::vector<uchar> take()
    {
        m_out.resize(m_stream.total_out);
        return std::move(m_out);
    }

private:
    z_stream m_stream = {};
    bool m_started = false;
    std::vector<uchar> m_out;
};

bool encodeStrip(const Encoding &encoding, Strip &strip, bool last)
{
    RowFilter filter(encoding.image, encoding.bytesPerPixel);
    const qsizetype rowBytes = filter.filteredRowBytes();
    const int batchRows = int(std::max<qsizetype>(1, BatchBytes / rowBytes));
    std::vector<uchar> batch(size_t(rowBytes) * size_t(batchRows));

    // The filtered bytes just before the strip, as the decoder holds them.
    const uchar *dictionary = nullptr;
    uInt dictionarySize = 0;
    if (strip.firstRow > 0) {
        const int rows = int(std::min<qsizetype>(
                {strip.firstRow, batchRows, (WindowBytes + rowBytes - 1) / rowBytes}));
        filter.filter(strip.firstRow - rows, strip.firstRow, batch.data());
        dictionarySize = uInt(std::min<qsizetype>(WindowBytes, rows * rowBytes));
        dictionary = batch.data() + rows * rowBytes - dictionarySize;
    }
    const uLong bytes = uLong(strip.endRow - strip.firstRow) * uLong(rowBytes);
    // Both ways start on the first batch, and the one that made it smaller
    // does the rest of the strip.
    Compressor matching, runs;
    if (!matching.start(Z_FILTERED, dictionary, dictionarySize, bytes)
        || !runs.start(Z_RLE, dictionary, dictionarySize, bytes))
        return false;
    Compressor *chosen = nullptr;
    for (int y = strip.firstRow; y < strip.endRow; y += batchRows) {
        const int y1 = std::min(strip.endRow, y + batchRows);
        filter.filter(y, y1, batch.data());
        const uInt size = uInt(qsizetype(y1 - y) * rowBytes);
        strip.adler = adler32(strip.adler, batch.data(), size);
        if (!chosen) {
            if (!matching.put(batch.data(), size, Z_SYNC_FLUSH)
                || !runs.put(batch.data(), size, Z_SYNC_FLUSH))
                return false;
            chosen = runs.written() <= matching.written() ? &runs : &matching;
        } else if (!chosen->put(batch.data(), size, Z_NO_FLUSH)) {
            return false;
        }
    }
    if (!chosen || !chosen->put(nullptr, 0, last ? Z_FINISH : Z_SYNC_FLUSH))
        return false;
    strip.deflated = chosen->take();
    strip.filteredBytes = bytes;
    strip.crc = crc32(0, strip.deflated.data(), uInt(strip.deflated.size()));
    return true;
}

// Takes strips until none is left; each, done or skipped, is released once.
void takeStrips(Encoding &encoding)
{
    const int count = int(encoding.strips.size());
    for (int i = encoding.next++; i < count; i = encoding.next++) {
        const bool skip =
                encoding.failed.load() || (encoding.cancelled && encoding.cancelled->load());
        if (!skip) {
            try {
                if (!encodeStrip(encoding, encoding.strips[size_t(i)], i == count - 1))
                    encoding.failed = true;
            } catch (...) { // out of memory: the file fails, the program goes on
                encoding.failed = true;
            }
        }
        encoding.done.release();
    }
}

void putUint32(QByteArray &out, quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

// A chunk: its length, type and data, and the CRC of type and data, which is
// dataCrc (of the data alone) joined to that of the type.
void putChunk(QByteArray &out, const char *type, const char *data, qsizetype size, uLong dataCrc)
{
    putUint32(out, quint32(size));
    out.append(type, 4);
    out.append(data, size);
    const uLong typeCrc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    putUint32(out, quint32(crc32_combine(typeCrc, dataCrc, z_off_t(size))));
}

void putChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    putChunk(out, type, data.constData(), data.size(),
             crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

// A PNG keyword (the profile's name) as libpng makes it of a description:
// printable Latin-1, single spaces between words, 1 to 79 bytes.
QByteArray keyword(const QString &description)
{
    QByteArray name;
    for (const uchar c : description.toLatin1()) {
        const bool printable = (c > 32 && c < 127) || c > 160;
        if (printable)
            name.append(char(c));
        else if (!name.isEmpty() && !name.endsWith(' '))
            name.append(' ');
    }
    name.truncate(79);
    while (name.endsWith(' '))
        name.chop(1);
    return name.isEmpty() ? QByteArrayLiteral("Custom") : name;
}

QByteArray iccChunk(const QColorSpace &colorSpace)
{
    const QByteArray profile = colorSpace.iccProfile();
    if (profile.isEmpty())
        return {};
    uLongf size = compressBound(uLong(profile.size()));
    QByteArray data = keyword(colorSpace.description());
    data.append('\0');
    data.append('\0'); // compression method: zlib
    const qsizetype head = data.size();
    data.resize(head + qsizetype(size));
    if (compress(reinterpret_cast<Bytef *>(data.data() + head), &size,
                 reinterpret_cast<const Bytef *>(profile.constData()), uLong(profile.size()))
        != Z_OK)
        return {};
    data.truncate(head + qsizetype(size));
    return data;
}

// The signature and the chunks before the pixels: the header, the colour
// space and the resolution.
QByteArray pngHead(const QImage &image, Layout layout)
{
    QByteArray ihdr;
    putUint32(ihdr, quint32(image.width()));
    putUint32(ihdr, quint32(image.height()));
    ihdr.append(char(8)); // bits per sample
    ihdr.append(char(layout.colourType));
    ihdr.append(3, '\0'); // deflate, adaptive filters, not interlaced
    QByteArray head("\x89PNG\r\n\x1a\n", 8);
    putChunk(head, "IHDR", ihdr);
    const QByteArray icc =
            image.colorSpace().isValid() ? iccChunk(image.colorSpace()) : QByteArray();
    if (!icc.isEmpty())
        putChunk(head, "iCCP", icc);
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        QByteArray phys;
        putUint32(phys, quint32(image.dotsPerMeterX()));
        putUint32(phys, quint32(image.dotsPerMeterY()));
        phys.append(char(1)); // per metre
        putChunk(head, "pHYs", phys);
    }
    return head;
}

// A chunk's four-letter type, no terminator.
void putType(uchar *out, const char *type)
{
    std::copy_n(type, 4, out);
}

void putUint32(uchar *out, quint32 value)
{
    out[0] = uchar(value >> 24);
    out[1] = uchar(value >> 16);
    out[2] = uchar(value >> 8);
    out[3] = uchar(value);
}

// The stored PNG: rows unfiltered, in deflate's stored blocks (one or more
// per row, at most 65535 bytes each), every strip of rows one IDAT chunk.
// Written here rather than by zlib at level 0, which copies every byte
// twice more through its own buffers: the size of each part is known, so
// every thread writes its rows straight into their place in the file, and
// the file costs little more than one copy of the pixels.
QByteArray storedPng(const QImage &image, Layout layout)
{
    constexpr qsizetype MaxBlock = 65535;
    const qsizetype rowBytes = qsizetype(image.width()) * layout.bytesPerPixel + 1;
    const qsizetype blocksPerRow = (rowBytes + MaxBlock - 1) / MaxBlock;
    const qsizetype storedRow = rowBytes + 5 * blocksPerRow;
    QThreadPool *pool = encoderPool();
    const int threads = pool ? std::max(1, pool->maxThreadCount()) : 1;
    const int stripRows = int(std::clamp<qsizetype>(image.height() / (threads * StripsPerThread), 1,
                                                    MaxStripBytes / storedRow + 1));
    const int strips = (image.height() + stripRows - 1) / stripRows;
    const qsizetype stripChunks = qsizetype(image.height()) * storedRow + 12 * qsizetype(strips);

    const QByteArray head = pngHead(image, layout);
    const char zlibHeader[2] = {0x78, 0x01}; // a 32 KiB window, the fastest level
    // The head, the chunk of the zlib header, the strips' chunks, the chunk
    // of the zlib trailer and the end.
    QByteArray png(head.size() + 14 + stripChunks + 16 + 12, Qt::Uninitialized);
    std::memcpy(png.data(), head.constData(), size_t(head.size()));
    auto *out = reinterpret_cast<uchar *>(png.data()) + head.size();
    putUint32(out, 2);
    putType(out + 4, "IDAT");
    std::memcpy(out + 8, zlibHeader, 2);
    putUint32(out + 10, quint32(crc32(crc32(0, out + 4, 4), out + 8, 2)));
    out += 14;

    std::vector<uLong> adlers(size_t(strips), 1);
    std::atomic<bool> failed{false};
    QSemaphore done;
    const auto writeStrip = [&](int strip) {
        const int y0 = strip * stripRows;
        const int y1 = std::min(image.height(), y0 + stripRows);
        uchar *chunk = out + qsizetype(y0) * storedRow + 12 * qsizetype(strip);
        const qsizetype size = qsizetype(y1 - y0) * storedRow;
        putUint32(chunk, quint32(size));
        putType(chunk + 4, "IDAT");
        uchar *p = chunk + 8;
        uLong adler = 1;
        for (int y = y0; y < y1; ++y) {
            uchar *row = p + 5; // the first block's header goes before
            row[0] = 0;         // filter type None
            packRow(image, y, row + 1);
            adler = adler32(adler, row, uInt(rowBytes));
            // Each block's header in front of its bytes, moving what follows
            // the first block on by the headers before it.
            for (qsizetype b = blocksPerRow - 1; b >= 1; --b)
                std::memmove(row + b * (MaxBlock + 5), row + b * MaxBlock,
                             size_t(std::min(MaxBlock, rowBytes - b * MaxBlock)));
            for (qsizetype b = 0; b < blocksPerRow; ++b) {
                const auto length = quint16(std::min(MaxBlock, rowBytes - b * MaxBlock));
                uchar *block = p + b * (MaxBlock + 5);
                block[0] = (y == image.height() - 1 && b == blocksPerRow - 1) ? 1 : 0;
                block[1] = uchar(length);
                block[2] = uchar(length >> 8);
                block[3] = uchar(~length);
                block[4] = uchar(~length >> 8);
            }
            p += storedRow;
        }
        adlers[size_t(strip)] = adler;
        putUint32(p, quint32(crc32(crc32(0, chunk + 4, 4), chunk + 8, uInt(size))));
    };
    std::atomic<int> next{0};
    const auto take = [&] {
        for (int i = next++; i < strips; i = next++) {
            try {
                writeStrip(i);
            } catch (...) { // out of memory converting a row: no file
                failed = true;
            }
        }
        done.release();
    };
    const int helpers = pool ? std::min(strips, threads) - 1 : 0;
    for (int i = 0; i < helpers; ++i)
        pool->start(take);
    take();
    done.acquire(helpers + 1);
    if (failed)
        return {};

    uLong adler = 1;
    for (int i = 0; i < strips; ++i) {
        const int rows = std::min(image.height(), (i + 1) * stripRows) - i * stripRows;
        adler = adler32_combine(adler, adlers[size_t(i)], z_off_t(qsizetype(rows) * rowBytes));
    }
    uchar *tail = out + stripChunks;
    putUint32(tail, 4);
    putType(tail + 4, "IDAT");
    putUint32(tail + 8, quint32(adler));
    putUint32(tail + 12, quint32(crc32(0, tail + 4, 8)));
    putUint32(tail + 16, 0);
    putType(tail + 20, "IEND");
    putUint32(tail + 24, quint32(crc32(0, tail + 20, 4)));
    return png;
}

} // namespace

bool encodesPng(QImage::Format format)
{
    return layoutOf(format).bytesPerPixel != 0;
}

QByteArray encodePng(const QImage &image, const std::atomic<bool> *cancelled, PngSize size)
{
    const Layout layout = layoutOf(image.format());
    if (image.isNull() || layout.bytesPerPixel == 0)
        return {};
    const qsizetype rowBytes = qsizetype(image.width()) * layout.bytesPerPixel + 1;
    if (rowBytes > MaxRowBytes)
        return {};

    if (size == PngSize::Fastest) {
        try {
            return storedPng(image, layout);
        } catch (const std::bad_alloc &) {
            return {};
        }
    }

    auto encoding = std::make_shared<Encoding>();
    encoding->image = image;
    encoding->cancelled = cancelled;
    encoding->bytesPerPixel = layout.bytesPerPixel;
    QThreadPool *pool = encoderPool();
    const int threads = pool ? std::max(1, pool->maxThreadCount()) : 1;
    const qsizetype total = rowBytes * image.height();
    const qsizetype stripBytes =
            std::clamp<qsizetype>(total / (qsizetype(threads) * StripsPerThread), MinStripBytes,
                                  MaxStripBytes);
    const int stripRows = int(std::clamp<qsizetype>(stripBytes / rowBytes, 1, image.height()));
    for (int y = 0; y < image.height(); y += stripRows) {
        Strip strip;
        strip.firstRow = y;
        strip.endRow = std::min(image.height(), y + stripRows);
        encoding->strips.push_back(std::move(strip));
    }
    const int count = int(encoding->strips.size());
    // Helpers that start after the caller took the last strip find nothing to
    // do; they hold the encoding, never the caller's stack.
    const int helpers = pool ? std::min(count, threads) - 1 : 0;
    for (int i = 0; i < helpers; ++i)
        pool->start([encoding] { takeStrips(*encoding); });
    takeStrips(*encoding);
    encoding->done.acquire(count);
    if (encoding->failed || (cancelled && cancelled->load()))
        return {};

    // The zlib stream's header: deflate with a 32 KiB window, the default
    // level, and the check bits.
    static_assert(DeflateLevel == 6);
    const char zlibHeader[2] = {0x78, char(0x9c)};
    uLong adler = 1;
    qsizetype deflated = 0;
    for (const Strip &strip : encoding->strips) {
        adler = adler32_combine(adler, strip.adler, z_off_t(strip.filteredBytes));
        deflated += qsizetype(strip.deflated.size());
    }
    const char zlibTrailer[4] = {char(adler >> 24), char(adler >> 16), char(adler >> 8),
                                 char(adler)};

    const QByteArray head = pngHead(image, layout);
    QByteArray png;
    png.reserve(head.size() + 14 + deflated + 12 * qsizetype(count) + 16 + 12);
    png.append(head);
    // One chunk per strip, and one each for the zlib stream's header and
    // trailer.
    putChunk(png, "IDAT", zlibHeader, 2, crc32(0, reinterpret_cast<const Bytef *>(zlibHeader), 2));
    for (const Strip &strip : encoding->strips)
        putChunk(png, "IDAT", reinterpret_cast<const char *>(strip.deflated.data()),
                 qsizetype(strip.deflated.size()), strip.crc);
    putChunk(png, "IDAT", zlibTrailer, 4,
             crc32(0, reinterpret_cast<const Bytef *>(zlibTrailer), 4));
    putChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace Lumivex
