#include "Formats.h"

#include <string>

namespace buzonix::artgen {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kIconDirSize = 6;
constexpr std::uint32_t kIconEntrySize = 16;
constexpr std::uint32_t kBiRle8 = 1;

class ByteWriter {
public:
    void u8(std::uint32_t v) { bytes_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) { u8(v & 0xFF); u8(v >> 8); }
    void u32(std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void append(const Bytes& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    void zeros(std::size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    std::size_t size() const { return bytes_.size(); }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

class ByteReader {
public:
    explicit ByteReader(const Bytes& bytes) : bytes_(bytes) {}
    void seek(std::size_t at) {
        if (at > bytes_.size()) throw FormatError("offset beyond end of file");
        pos_ = at;
    }
    std::size_t tell() const { return pos_; }
    std::uint32_t u8() {
        if (pos_ >= bytes_.size()) throw FormatError("file ends early");
        return bytes_[pos_++];
    }
    std::uint32_t u16() { std::uint32_t lo = u8(); return lo | (u8() << 8); }
    std::uint32_t u32() { std::uint32_t lo = u16(); return lo | (u16() << 16); }
    std::int32_t s32() { return static_cast<std::int32_t>(u32()); }

private:
    const Bytes& bytes_;
    std::size_t pos_ = 0;
};

void expect(bool condition, const std::string& what) {
    if (!condition) throw FormatError(what);
}

// Rows of a DIB are padded to a multiple of four bytes.
std::uint32_t rowStride(int width, int bitsPerPixel) {
    return static_cast<std::uint32_t>((width * bitsPerPixel + 31) / 32 * 4);
}

void writeInfoHeader(ByteWriter& out, int width, int heightField, int bitsPerPixel,
                     std::uint32_t imageSize, std::uint32_t coloursUsed, std::uint32_t compression = 0) {
    out.u32(kInfoHeaderSize);
    out.u32(static_cast<std::uint32_t>(width));
    out.u32(static_cast<std::uint32_t>(heightField));
    out.u16(1);                                   // planes
    out.u16(static_cast<std::uint32_t>(bitsPerPixel));
    out.u32(compression);                         // BI_RGB or BI_RLE8
    out.u32(imageSize);
    out.u32(0);                                   // horizontal resolution: unspecified
    out.u32(0);                                   // vertical resolution: unspecified
    out.u32(coloursUsed);
    out.u32(0);                                   // all colours important
}

void writeColourTable(ByteWriter& out, const Palette& palette) {
    for (const Rgb& c : palette) {
        out.u8(c.b);
        out.u8(c.g);
        out.u8(c.r);
        out.u8(0);
    }
}

Palette readColourTable(ByteReader& in, std::size_t count) {
    Palette palette(count);
    for (Rgb& c : palette) {
        c.b = static_cast<std::uint8_t>(in.u8());
        c.g = static_cast<std::uint8_t>(in.u8());
        c.r = static_cast<std::uint8_t>(in.u8());
        in.u8();
    }
    return palette;
}

// Pixel rows bottom-up, `bitsPerPixel` of 4 or 8.
void writePixelRows(ByteWriter& out, const IndexedImage& image, int bitsPerPixel) {
    const std::uint32_t stride = rowStride(image.width, bitsPerPixel);
    for (int y = image.height - 1; y >= 0; --y) {
        Bytes row(stride, 0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t v = image.at(x, y);
            if (bitsPerPixel == 8)
                row[x] = v;
            else
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? (v & 0x0F) << 4 : (v & 0x0F));
        }
        out.append(row);
    }
}

IndexedImage readPixelRows(ByteReader& in, int width, int height, int bitsPerPixel) {
    IndexedImage image(width, height);
    const std::uint32_t stride = rowStride(width, bitsPerPixel);
    for (int y = height - 1; y >= 0; --y) {
        const std::size_t rowStart = in.tell();
        for (int x = 0; x < width; ++x) {
            if (bitsPerPixel == 8) {
                image.set(x, y, static_cast<std::uint8_t>(in.u8()));
            } else if (x % 2 == 0) {
                const std::uint32_t pair = in.u8();
                image.set(x, y, static_cast<std::uint8_t>(pair >> 4));
                if (x + 1 < width) image.set(x + 1, y, static_cast<std::uint8_t>(pair & 0x0F));
            }
        }
        in.seek(rowStart + stride);
    }
    return image;
}

// One row in RLE8: runs of two or more equal pixels as (count, index), other
// stretches of three or more pixels in absolute mode (0, count, indexes,
// padded to an even length), single pixels as runs of one; then end of line.
void writeRle8Row(ByteWriter& out, const std::uint8_t* row, int width) {
    int x = 0;
    const auto runAt = [&](int at) {
        int n = 1;
        while (at + n < width && n < 255 && row[at + n] == row[at]) ++n;
        return n;
    };
    while (x < width) {
        const int run = runAt(x);
        if (run >= 2) {
            out.u8(static_cast<std::uint32_t>(run));
            out.u8(row[x]);
            x += run;
            continue;
        }
        int literal = 1;
        while (x + literal < width && literal < 255 && runAt(x + literal) < 2) ++literal;
        if (literal < 3) {
            for (int i = 0; i < literal; ++i) {
                out.u8(1);
                out.u8(row[x + i]);
            }
        } else {
            out.u8(0);
            out.u8(static_cast<std::uint32_t>(literal));
            for (int i = 0; i < literal; ++i) out.u8(row[x + i]);
            if (literal % 2 != 0) out.u8(0);
        }
        x += literal;
    }
    out.u8(0);
    out.u8(0);
}

IndexedImage readRle8Rows(ByteReader& in, int width, int height) {
    IndexedImage image(width, height);
    std::vector<bool> set(image.pixels.size(), false);
    int x = 0, y = height - 1;
    const auto put = [&](std::uint32_t v) {
        expect(y >= 0 && x < width, "RLE8 data runs past the picture");
        image.set(x, y, static_cast<std::uint8_t>(v));
        set[static_cast<std::size_t>(y) * width + x] = true;
        ++x;
    };
    for (;;) {
        const std::uint32_t count = in.u8();
        const std::uint32_t value = in.u8();
        if (count > 0) {
            for (std::uint32_t i = 0; i < count; ++i) put(value);
        } else if (value == 0) {
            x = 0;
            --y;
        } else if (value == 1) {
            break;
        } else {
            expect(value != 2, "RLE8 deltas leave pixels unset");
            for (std::uint32_t i = 0; i < value; ++i) put(in.u8());
            if (value % 2 != 0) in.u8();
        }
    }
    for (bool b : set) expect(b, "RLE8 data leaves pixels unset");
    return image;
}

Bytes iconImageData(const IndexedImage& image, const Palette& palette) {
    const std::uint32_t colourBytes = rowStride(image.width, 4) * image.height;
    const std::uint32_t maskBytes = rowStride(image.width, 1) * image.height;
    ByteWriter out;
    // An icon DIB counts the XOR image and the AND mask in its height.
    writeInfoHeader(out, image.width, image.height * 2, 4, colourBytes + maskBytes, 0);
    writeColourTable(out, palette);
    writePixelRows(out, image, 4);
    out.zeros(maskBytes);                         // opaque everywhere
    return out.take();
}

} // namespace

Bytes encodeBmp8(const IndexedImage& image, const Palette& palette) {
    if (palette.size() != 256) throw FormatError("an 8-bit bitmap needs 256 colours");
    const std::uint32_t tableBytes = 256 * 4;
    const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + tableBytes;
    const std::uint32_t imageSize = rowStride(image.width, 8) * image.height;
    ByteWriter out;
    out.u8('B');
    out.u8('M');
    out.u32(pixelOffset + imageSize);
    out.u32(0);                                   // reserved
    out.u32(pixelOffset);
    writeInfoHeader(out, image.width, image.height, 8, imageSize, 256);
    writeColourTable(out, palette);
    writePixelRows(out, image, 8);
    return out.take();
}

Bytes encodeBmp8Rle(const IndexedImage& image, const Palette& palette) {
    // The used colours, renumbered in the palette's order.
    std::vector<int> newIndex(palette.size(), -1);
    for (std::uint8_t v : image.pixels) newIndex.at(v) = 0;
    Palette used;
    for (std::size_t i = 0; i < palette.size(); ++i)
        if (newIndex[i] == 0) {
            newIndex[i] = static_cast<int>(used.size());
            used.push_back(palette[i]);
        }
    ByteWriter rows;
    std::vector<std::uint8_t> row(image.width);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) row[x] = static_cast<std::uint8_t>(newIndex[image.at(x, y)]);
        writeRle8Row(rows, row.data(), image.width);
    }
    rows.u8(0);
    rows.u8(1);                                   // end of bitmap
    const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + static_cast<std::uint32_t>(used.size()) * 4;
    ByteWriter out;
    out.u8('B');
    out.u8('M');
    out.u32(pixelOffset + static_cast<std::uint32_t>(rows.size()));
    out.u32(0);                                   // reserved
    out.u32(pixelOffset);
    writeInfoHeader(out, image.width, image.height, 8, static_cast<std::uint32_t>(rows.size()),
                    static_cast<std::uint32_t>(used.size()), kBiRle8);
    writeColourTable(out, used);
    out.append(rows.take());
    return out.take();
}

Bytes encodeIcon4(const std::vector<IndexedImage>& images, const Palette& palette) {
    if (palette.size() != 16) throw FormatError("a 4-bit icon needs 16 colours");
    std::vector<Bytes> data;
    for (const IndexedImage& image : images) data.push_back(iconImageData(image, palette));

    ByteWriter out;
    out.u16(0);                                   // reserved
    out.u16(1);                                   // resource type: icon
    out.u16(static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = kIconDirSize + kIconEntrySize * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.u8(static_cast<std::uint32_t>(images[i].width));
        out.u8(static_cast<std::uint32_t>(images[i].height));
        out.u8(16);                               // colours in the image
        out.u8(0);
        out.u16(1);                               // planes
        out.u16(4);                               // bits per pixel
        out.u32(static_cast<std::uint32_t>(data[i].size()));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(data[i].size());
    }
    for (const Bytes& d : data) out.append(d);
    return out.take();
}

Bytes encodePpm(const RgbImage& image) {
    const std::string header =
        "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    Bytes out(header.begin(), header.end());
    for (const Rgb& c : image.pixels) {
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
    return out;
}

DecodedBitmap decodeBmp8(const Bytes& file) {
    ByteReader in(file);
    expect(in.u8() == 'B' && in.u8() == 'M', "not a BMP file");
    expect(in.u32() == file.size(), "file size field does not match");
    in.u32();
    const std::uint32_t pixelOffset = in.u32();
    expect(in.u32() == kInfoHeaderSize, "not a BITMAPINFOHEADER");
    const std::int32_t width = in.s32();
    const std::int32_t height = in.s32();
    expect(width > 0 && height > 0, "bitmap must be bottom-up with positive size");
    expect(in.u16() == 1, "planes must be 1");
    const int bits = static_cast<int>(in.u16());
    expect(bits == 8, "bitmap is not 8 bits per pixel");
    const std::uint32_t compression = in.u32();
    expect(compression == 0 || compression == kBiRle8, "bitmap is compressed other than RLE8");
    in.u32();
    in.u32();
    in.u32();
    const std::uint32_t used = in.u32();
    in.u32();
    const std::size_t colours = used == 0 ? 256 : used;
    expect(colours <= 256, "colour table too large");
    DecodedBitmap result;
    result.bitsPerPixel = bits;
    result.palette = readColourTable(in, colours);
    expect(in.tell() == pixelOffset, "pixel data does not follow the colour table");
    result.image = compression == kBiRle8 ? readRle8Rows(in, width, height) : readPixelRows(in, width, height, bits);
    expect(in.tell() == file.size(), "trailing bytes after the pixel data");
    return result;
}

std::vector<DecodedIconImage> decodeIcon4(const Bytes& file) {
    ByteReader in(file);
    expect(in.u16() == 0 && in.u16() == 1, "not an icon file");
    const std::uint32_t count = in.u16();
    std::vector<DecodedIconImage> result;
    for (std::uint32_t i = 0; i < count; ++i) {
        in.seek(kIconDirSize + kIconEntrySize * i);
        const int width = static_cast<int>(in.u8());
        const int height = static_cast<int>(in.u8());
        const std::uint32_t colourCount = in.u8();
        in.u8();
        in.u16();
        const std::uint32_t entryBits = in.u16();
        const std::uint32_t size = in.u32();
        const std::uint32_t offset = in.u32();
        expect(offset + size <= file.size(), "icon image beyond end of file");

        in.seek(offset);
        expect(in.u32() == kInfoHeaderSize, "icon image is not a DIB");
        expect(in.s32() == width, "DIB width differs from directory");
        expect(in.s32() == height * 2, "DIB height is not twice the icon height");
        expect(in.u16() == 1, "planes must be 1");
        DecodedIconImage image;
        image.bitsPerPixel = static_cast<int>(in.u16());
        expect(image.bitsPerPixel == 4, "icon image is not 4 bits per pixel");
        expect(entryBits == 4 && colourCount == 16, "directory entry is not 16 colours");
        expect(in.u32() == 0, "icon image is compressed");
        in.seek(offset + kInfoHeaderSize);
        image.palette = readColourTable(in, 16);
        image.image = readPixelRows(in, width, height, 4);
        const std::size_t maskBytes = rowStride(width, 1) * static_cast<std::uint32_t>(height);
        image.maskAllZero = true;
        for (std::size_t b = 0; b < maskBytes; ++b)
            if (in.u8() != 0) image.maskAllZero = false;
        expect(in.tell() == offset + size, "icon image size field does not match");
        result.push_back(std::move(image));
    }
    return result;
}

RgbImage toRgb(const IndexedImage& image, const Palette& palette) {
    RgbImage out(image.width, image.height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) out.pixels[i] = palette.at(image.pixels[i]);
    return out;
}

} // namespace buzonix::artgen
