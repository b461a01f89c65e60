#include "Formats.h"

#include <array>
#include <string>

#include <zlib.h>

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

Bytes encodeIcon(const std::vector<IndexedImage>& images, const Palette& palette,
                 const std::vector<RgbaImage>& trueColour) {
    if (palette.size() != 16) throw FormatError("a 4-bit icon needs 16 colours");
    struct Entry {
        int size, colours, bits;
        Bytes data;
    };
    std::vector<Entry> entries;
    for (const IndexedImage& image : images) entries.push_back({image.width, 16, 4, iconImageData(image, palette)});
    for (const RgbaImage& image : trueColour) entries.push_back({image.width, 0, 32, encodePng(image)});

    ByteWriter out;
    out.u16(0);                                   // reserved
    out.u16(1);                                   // resource type: icon
    out.u16(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = kIconDirSize + kIconEntrySize * static_cast<std::uint32_t>(entries.size());
    for (const Entry& e : entries) {
        out.u8(static_cast<std::uint32_t>(e.size) & 0xFF);   // 256 is written as 0
        out.u8(static_cast<std::uint32_t>(e.size) & 0xFF);
        out.u8(static_cast<std::uint32_t>(e.colours));      // colours in the image, 0 for true colour
        out.u8(0);
        out.u16(1);                               // planes
        out.u16(static_cast<std::uint32_t>(e.bits));
        out.u32(static_cast<std::uint32_t>(e.data.size()));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const Entry& e : entries) out.append(e.data);
    return out.take();
}

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void writePngChunk(ByteWriter& out, const char* type, const Bytes& data) {
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    const auto bigEndian = [&out](std::uint32_t v) {
        out.u8(v >> 24);
        out.u8((v >> 16) & 0xFF);
        out.u8((v >> 8) & 0xFF);
        out.u8(v & 0xFF);
    };
    bigEndian(static_cast<std::uint32_t>(data.size()));
    out.append(typed);
    bigEndian(static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

std::uint32_t bigEndianAt(const Bytes& bytes, std::size_t at) {
    expect(at + 4 <= bytes.size(), "PNG ends early");
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

} // namespace

Bytes encodePng(const RgbaImage& image) {
    Bytes raw;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);                         // filter: none
        for (int x = 0; x < image.width; ++x) {
            const Rgba p = image.at(x, y);
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw FormatError("zlib refused to compress");
    packed.resize(packedSize);

    ByteWriter header;
    const auto bigEndian = [&header](std::uint32_t v) {
        header.u8(v >> 24);
        header.u8((v >> 16) & 0xFF);
        header.u8((v >> 8) & 0xFF);
        header.u8(v & 0xFF);
    };
    bigEndian(static_cast<std::uint32_t>(image.width));
    bigEndian(static_cast<std::uint32_t>(image.height));
    for (std::uint32_t v : {8u, 6u, 0u, 0u, 0u}) header.u8(v);  // 8 bits, RGBA, deflate, filter 0, no interlace
    ByteWriter out;
    out.append(Bytes(kPngSignature.begin(), kPngSignature.end()));
    writePngChunk(out, "IHDR", header.take());
    writePngChunk(out, "IDAT", packed);
    writePngChunk(out, "IEND", {});
    return out.take();
}

RgbaImage decodePng(const Bytes& file) {
    expect(file.size() > 8 && std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin()), "not a PNG");
    std::size_t at = 8;
    int width = 0, height = 0;
    Bytes packed;
    for (;;) {
        const std::uint32_t length = bigEndianAt(file, at);
        expect(at + 12 + length <= file.size(), "PNG chunk beyond the end");
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(at + 8));
        const std::size_t data = at + 8;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, file.data() + at + 4, length + 4));
        expect(crc == bigEndianAt(file, data + length), "PNG chunk checksum");
        if (type == "IHDR") {
            width = static_cast<int>(bigEndianAt(file, data));
            height = static_cast<int>(bigEndianAt(file, data + 4));
            expect(length == 13 && file[data + 8] == 8 && file[data + 9] == 6 && file[data + 12] == 0,
                   "PNG is not 8-bit RGBA without interlace");
            expect(width > 0 && width <= 256 && height > 0 && height <= 256, "PNG size");
        } else if (type == "IDAT") {
            packed.insert(packed.end(), file.begin() + static_cast<std::ptrdiff_t>(data),
                          file.begin() + static_cast<std::ptrdiff_t>(data + length));
        } else if (type == "IEND") {
            break;
        }
        at = data + length + 4;
    }
    expect(width > 0, "PNG without a header");
    const std::size_t stride = static_cast<std::size_t>(width) * 4 + 1;
    Bytes raw(stride * height);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    expect(uncompress(raw.data(), &rawSize, packed.data(), static_cast<uLong>(packed.size())) == Z_OK &&
               rawSize == raw.size(),
           "PNG data does not inflate to its size");
    RgbaImage image(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = raw.data() + stride * y;
        expect(row[0] == 0, "PNG row filter other than none");
        for (int x = 0; x < width; ++x)
            image.set(x, y, {row[1 + 4 * x], row[2 + 4 * x], row[3 + 4 * x], row[4 + 4 * x]});
    }
    return image;
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

std::vector<DecodedIconImage> decodeIcon(const Bytes& file) {
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

        if (size > 8 && std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin() + offset)) {
            DecodedIconImage image;
            image.png = true;
            image.bitsPerPixel = static_cast<int>(entryBits);
            image.trueColour = decodePng(Bytes(file.begin() + offset, file.begin() + offset + size));
            expect(image.trueColour.width == (width == 0 ? 256 : width) && image.trueColour.height == (height == 0 ? 256 : height),
                   "PNG size differs from directory");
            expect(entryBits == 32 && colourCount == 0, "directory entry of a PNG is not 32 bits");
            result.push_back(std::move(image));
            continue;
        }
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
