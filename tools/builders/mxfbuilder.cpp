#include "builders/mxfbuilder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace {

// Names the clip and its tape in the file's metadata, opens the file and
// writes its header.
bool nameAndOpen(AVFormatContext* format, const std::string& clipName, const std::string& tapeName,
                 const std::string& path) {
    av_dict_set(&format->metadata, "material_package_name", clipName.c_str(), 0);
    if (!tapeName.empty())
        av_dict_set(&format->metadata, "reel_name", tapeName.c_str(), 0);
    return avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
           avformat_write_header(format, nullptr) >= 0;
}

// Lumas in the video range (16..235) and the greys they draw as.
constexpr int kBackgroundLuma = 200;
int markLuma(int n) {
    return 40 + 20 * (n % 8);
}
int greyOf(int luma) {
    return ((luma - 16) * 255 + 109) / 219;
}

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kPrimerKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01, 0x01,
                                         0x0d, 0x01, 0x02, 0x01, 0x01, 0x05, 0x01, 0x00};
constexpr std::uint8_t kPrefaceKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                          0x0d, 0x01, 0x01, 0x01, 0x01, 0x01, 0x2f, 0x00};
// A fill item; byte 7 (the registry's version) varies between writers.
constexpr std::uint8_t kFillKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x00,
                                       0x03, 0x01, 0x02, 0x10, 0x01, 0x00, 0x00, 0x00};
// The project name's item, as the editing application writes it.
constexpr std::uint8_t kProjectNameKey[16] = {0xa5, 0xfb, 0x7b, 0x25, 0xf6, 0x15, 0x94, 0xb9,
                                              0x62, 0xfc, 0x37, 0x17, 0x49, 0x2d, 0x42, 0xbf};
constexpr std::uint16_t kProjectNameTag = 0xfe00;
constexpr std::uint8_t kIndexSegmentKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                               0x0d, 0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00};

struct Klv {
    std::size_t start = 0;       // the key
    std::size_t lengthStart = 0; // the BER length
    std::size_t valueStart = 0;
    std::size_t valueLength = 0;
};

bool readKlv(const Bytes& file, std::size_t at, Klv& klv) {
    if (at + 17 > file.size())
        return false;
    klv.start = at;
    klv.lengthStart = at + 16;
    const std::uint8_t first = file[at + 16];
    std::size_t length = first;
    std::size_t lengthBytes = 1;
    if (first & 0x80) {
        const std::size_t n = first & 0x7f;
        if (n == 0 || n > 8 || at + 17 + n > file.size())
            return false;
        length = 0;
        for (std::size_t i = 0; i < n; ++i)
            length = (length << 8) | file[at + 17 + i];
        lengthBytes += n;
    }
    klv.valueStart = at + 16 + lengthBytes;
    klv.valueLength = length;
    return klv.valueStart + length <= file.size();
}

bool keyIs(const Bytes& file, const Klv& klv, const std::uint8_t (&key)[16], bool anyVersion) {
    for (int i = 0; i < 16; ++i) {
        if (!(anyVersion && i == 7) && file[klv.start + i] != key[i])
            return false;
    }
    return true;
}

// Writes a length as a four-byte BER length.
void putLength(Bytes& out, std::size_t length) {
    out.push_back(0x83);
    out.push_back(static_cast<std::uint8_t>(length >> 16));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
}

void putBig(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// UTF-16 big-endian, from UTF-8 limited to the basic plane (the builders'
// names are plain).
Bytes utf16be(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t code = c;
        std::size_t n = 1;
        if (c >= 0xe0 && i + 2 < text.size()) {
            code = ((c & 0x0f) << 12) | ((text[i + 1] & 0x3f) << 6) | (text[i + 2] & 0x3f);
            n = 3;
        } else if (c >= 0xc0 && i + 1 < text.size()) {
            code = ((c & 0x1f) << 6) | (text[i + 1] & 0x3f);
            n = 2;
        }
        putBig(out, code, 2);
        i += n;
    }
    return out;
}

// Adds the project name to the header metadata the muxer wrote: a primer
// entry for its dynamic tag and an item at the end of the Preface, in bytes
// taken from the fill that follows the header metadata, so that no offset in
// the file moves.
bool addProjectName(Bytes& file, const std::string& projectName) {
    Klv primer, preface, fill;
    bool havePrimer = false, havePreface = false, haveFill = false;
    Klv klv;
    for (std::size_t at = 0; !haveFill && readKlv(file, at, klv);
         at = klv.valueStart + klv.valueLength) {
        if (keyIs(file, klv, kPrimerKey, false) && !havePrimer) {
            primer = klv;
            havePrimer = true;
        } else if (keyIs(file, klv, kPrefaceKey, false) && havePrimer) {
            preface = klv;
            havePreface = true;
        } else if (keyIs(file, klv, kFillKey, true) && havePreface) {
            fill = klv;
            haveFill = true;
        }
    }
    if (!haveFill || primer.valueLength < 8)
        return false;
    const Bytes name = utf16be(projectName);

    Bytes newPrimer(file.begin() + static_cast<std::ptrdiff_t>(primer.start),
                    file.begin() + static_cast<std::ptrdiff_t>(primer.lengthStart));
    putLength(newPrimer, primer.valueLength + 18);
    const std::size_t v = primer.valueStart;
    const std::uint32_t count =
        (std::uint32_t{file[v]} << 24) | (file[v + 1] << 16) | (file[v + 2] << 8) | file[v + 3];
    putBig(newPrimer, count + 1, 4);
    newPrimer.insert(newPrimer.end(), file.begin() + static_cast<std::ptrdiff_t>(v + 4),
                     file.begin() + static_cast<std::ptrdiff_t>(v + primer.valueLength));
    putBig(newPrimer, kProjectNameTag, 2);
    newPrimer.insert(newPrimer.end(), std::begin(kProjectNameKey), std::end(kProjectNameKey));

    Bytes newPreface(file.begin() + static_cast<std::ptrdiff_t>(preface.start),
                     file.begin() + static_cast<std::ptrdiff_t>(preface.lengthStart));
    putLength(newPreface, preface.valueLength + 4 + name.size());
    newPreface.insert(
        newPreface.end(), file.begin() + static_cast<std::ptrdiff_t>(preface.valueStart),
        file.begin() + static_cast<std::ptrdiff_t>(preface.valueStart + preface.valueLength));
    putBig(newPreface, kProjectNameTag, 2);
    putBig(newPreface, static_cast<std::uint32_t>(name.size()), 2);
    newPreface.insert(newPreface.end(), name.begin(), name.end());

    // Everything from the primer to the fill's end is written anew, the fill
    // shorter by what the two sets grew.
    const std::size_t oldSize = (primer.valueStart - primer.start + primer.valueLength) +
                                (preface.valueStart - preface.start + preface.valueLength);
    const std::size_t growth = newPrimer.size() + newPreface.size() - oldSize;
    const std::size_t fillEnd = fill.valueStart + fill.valueLength;
    const std::size_t fillHeader = fill.valueStart - fill.start;
    Bytes region;
    region.insert(region.end(), newPrimer.begin(), newPrimer.end());
    region.insert(region.end(),
                  file.begin() +
                      static_cast<std::ptrdiff_t>(primer.valueStart + primer.valueLength),
                  file.begin() + static_cast<std::ptrdiff_t>(preface.start));
    region.insert(region.end(), newPreface.begin(), newPreface.end());
    region.insert(region.end(),
                  file.begin() +
                      static_cast<std::ptrdiff_t>(preface.valueStart + preface.valueLength),
                  file.begin() + static_cast<std::ptrdiff_t>(fill.start));
    const std::size_t fillTotal = fillEnd - fill.start;
    if (growth + 20 > fillTotal || fillHeader > 20)
        return false;
    const std::size_t newFillValue = fillTotal - growth - 20;
    region.insert(region.end(), file.begin() + static_cast<std::ptrdiff_t>(fill.start),
                  file.begin() + static_cast<std::ptrdiff_t>(fill.start + 16));
    putLength(region, newFillValue);
    region.resize(region.size() + newFillValue, 0);
    if (region.size() != fillEnd - primer.start)
        return false;
    std::copy(region.begin(), region.end(),
              file.begin() + static_cast<std::ptrdiff_t>(primer.start));
    return true;
}

struct Encoder {
    AVCodecContext* codec = nullptr;
    AVFormatContext* format = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~Encoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

bool writePackets(Encoder& e, AVStream* stream) {
    while (avcodec_receive_packet(e.codec, e.packet) == 0) {
        av_packet_rescale_ts(e.packet, e.codec->time_base, stream->time_base);
        e.packet->stream_index = stream->index;
        if (av_interleaved_write_frame(e.format, e.packet) < 0)
            return false;
    }
    return true;
}

bool mux(const std::string& path, const MxfFileDesc& desc) {
    av_log_set_level(AV_LOG_QUIET);
    Encoder e;
    const AVCodec* dnxhd = avcodec_find_encoder(AV_CODEC_ID_DNXHD);
    if (dnxhd == nullptr)
        return false;
    e.codec = avcodec_alloc_context3(dnxhd);
    e.codec->width = desc.width;
    e.codec->height = desc.height;
    e.codec->time_base = {desc.frameRateDenominator, desc.frameRateNumerator};
    e.codec->framerate = {desc.frameRateNumerator, desc.frameRateDenominator};
    e.codec->pix_fmt = AV_PIX_FMT_YUV422P;
    const bool fullHd = desc.width == 1920 && desc.height == 1080;
    if (fullHd)
        e.codec->bit_rate = std::int64_t{desc.bitRateMbps} * 1000000;
    av_opt_set(e.codec->priv_data, "profile", fullHd ? "dnxhd" : "dnxhr_lb", 0);
    if (avformat_alloc_output_context2(&e.format, nullptr, desc.opAtom ? "mxf_opatom" : "mxf",
                                       path.c_str()) < 0)
        return false;
    if (avcodec_open2(e.codec, dnxhd, nullptr) < 0)
        return false;
    AVStream* stream = avformat_new_stream(e.format, nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, e.codec) < 0)
        return false;
    stream->time_base = e.codec->time_base;
    if (!nameAndOpen(e.format, desc.clipName, desc.tapeName, path))
        return false;
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    e.frame->width = desc.width;
    e.frame->height = desc.height;
    e.frame->format = e.codec->pix_fmt;
    if (av_frame_get_buffer(e.frame, 0) < 0)
        return false;
    for (int n = 0; n < desc.frames; ++n) {
        if (av_frame_make_writable(e.frame) < 0)
            return false;
        for (int y = 0; y < desc.height; ++y) {
            std::uint8_t* luma = e.frame->data[0] + y * e.frame->linesize[0];
            std::memset(luma, kBackgroundLuma, static_cast<std::size_t>(desc.width));
            if (y < desc.height / 2)
                std::memset(luma, markLuma(n), static_cast<std::size_t>(desc.width / 2));
            std::memset(e.frame->data[1] + y * e.frame->linesize[1], 128,
                        static_cast<std::size_t>(desc.width / 2));
            std::memset(e.frame->data[2] + y * e.frame->linesize[2], 128,
                        static_cast<std::size_t>(desc.width / 2));
            if (desc.grain) {
                std::uint32_t state = static_cast<std::uint32_t>(n * 7919 + y) * 2654435761u + 1;
                for (int x = 0; x < desc.width; ++x) {
                    state = state * 1664525u + 1013904223u;
                    luma[x] = static_cast<std::uint8_t>(luma[x] - 12 + (state >> 24) % 25);
                }
            }
        }
        e.frame->pts = n;
        if (avcodec_send_frame(e.codec, e.frame) < 0 || !writePackets(e, stream))
            return false;
    }
    if (avcodec_send_frame(e.codec, nullptr) < 0 || !writePackets(e, stream))
        return false;
    return av_write_trailer(e.format) == 0;
}

} // namespace

namespace {

// Muxes with `muxed`, then adds the project name; nothing is left under path
// when either fails.
bool finish(const std::string& path, bool muxed, const std::string& projectName) {
    bool written = muxed;
    if (written && !projectName.empty()) {
        std::ifstream in(path, std::ios::binary);
        Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        written = addProjectName(file, projectName);
        if (written) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(file.data()),
                      static_cast<std::streamsize>(file.size()));
            written = static_cast<bool>(out.flush());
        }
    }
    if (!written) {
        std::fprintf(stderr, "MXF builder: %s not written\n", path.c_str());
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return written;
}

bool muxSound(const std::string& path, const MxfSoundDesc& desc) {
    av_log_set_level(AV_LOG_QUIET);
    Encoder e;
    const bool deep = desc.bitsPerSample == 24;
    if (avformat_alloc_output_context2(&e.format, nullptr, "mxf_opatom", path.c_str()) < 0)
        return false;
    AVStream* stream = avformat_new_stream(e.format, nullptr);
    if (stream == nullptr)
        return false;
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_AUDIO;
    parameters->codec_id = deep ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S16LE;
    parameters->sample_rate = desc.sampleRate;
    parameters->bits_per_coded_sample = desc.bitsPerSample;
    av_channel_layout_default(&parameters->ch_layout, 1);
    stream->time_base = {1, desc.sampleRate};
    char rate[32];
    std::snprintf(rate, sizeof rate, "%d/%d", desc.timecodeRateNumerator,
                  desc.timecodeRateDenominator);
    av_opt_set(e.format->priv_data, "mxf_audio_edit_rate", rate, 0);
    if (!nameAndOpen(e.format, desc.clipName, desc.tapeName, path))
        return false;
    e.packet = av_packet_alloc();
    if (e.packet == nullptr)
        return false;
    // Packets of a tenth of a second or less, each a ramp of small values.
    const int bytesPerSample = desc.bitsPerSample / 8;
    const std::int64_t piece = std::max(1, desc.sampleRate / 10);
    for (std::int64_t at = 0; at < desc.samples; at += piece) {
        const std::int64_t n = std::min(piece, desc.samples - at);
        if (av_new_packet(e.packet, static_cast<int>(n * bytesPerSample)) < 0)
            return false;
        for (std::int64_t i = 0; i < n; ++i) {
            const auto value = static_cast<std::uint32_t>((at + i) % 256);
            for (int b = 0; b < bytesPerSample; ++b)
                e.packet->data[i * bytesPerSample + b] =
                    static_cast<std::uint8_t>(b == 0 ? value : 0);
        }
        e.packet->pts = at;
        e.packet->dts = at;
        e.packet->duration = n;
        e.packet->stream_index = stream->index;
        av_packet_rescale_ts(e.packet, AVRational{1, desc.sampleRate}, stream->time_base);
        if (av_write_frame(e.format, e.packet) < 0)
            return false;
        av_packet_unref(e.packet);
    }
    return av_write_trailer(e.format) == 0;
}

} // namespace

bool WriteMxfFile(const std::string& path, const MxfFileDesc& desc) {
    return finish(path, mux(path, desc), desc.projectName);
}

bool WriteMxfSoundFile(const std::string& path, const MxfSoundDesc& desc) {
    return finish(path, muxSound(path, desc), desc.projectName);
}

std::vector<std::uint8_t> MxfIndexSegment(std::uint32_t sid, std::uint64_t duration,
                                          std::uint32_t stated, std::uint32_t held) {
    Bytes v;
    auto item = [&](std::uint32_t tag, std::uint32_t size) {
        putBig(v, tag, 2);
        putBig(v, size, 2);
    };
    item(0x3c0a, 16); // instance
    for (std::uint32_t i = 0; i < 16; ++i)
        v.push_back(static_cast<std::uint8_t>(0x40 + i + sid));
    item(0x3f0b, 8); // edit rate
    putBig(v, 25, 4);
    putBig(v, 1, 4);
    item(0x3f0c, 8); // start
    putBig(v, 0, 4);
    putBig(v, 0, 4);
    item(0x3f0d, 8); // duration
    putBig(v, static_cast<std::uint32_t>(duration >> 32), 4);
    putBig(v, static_cast<std::uint32_t>(duration), 4);
    item(0x3f06, 4); // index stream
    putBig(v, sid, 4);
    item(0x3f07, 4); // body stream
    putBig(v, 1, 4);
    item(0x3f0a, 8 + 11 * held); // entries: count, size, then each entry
    putBig(v, stated, 4);
    putBig(v, 11, 4);
    for (std::uint32_t i = 0; i < held; ++i) {
        v.insert(v.end(), {0, 0, 0x80});
        putBig(v, 0, 4);
        putBig(v, i * 0x2000, 4);
    }
    Bytes segment(std::begin(kIndexSegmentKey), std::end(kIndexSegmentKey));
    putLength(segment, v.size());
    segment.insert(segment.end(), v.begin(), v.end());
    return segment;
}

std::vector<std::uint8_t> MxfFill(std::uint32_t length) {
    Bytes fill(std::begin(kFillKey), std::end(kFillKey));
    fill[7] = 0x02;
    fill.push_back(0x84);
    putBig(fill, length, 4);
    fill.resize(fill.size() + length, 0);
    return fill;
}

bool AddAfterLastIndexSegment(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::size_t end = 0;
    Klv klv;
    for (std::size_t at = 0; readKlv(file, at, klv); at = klv.valueStart + klv.valueLength) {
        if (keyIs(file, klv, kIndexSegmentKey, true))
            end = klv.valueStart + klv.valueLength;
    }
    if (end == 0)
        return false;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(end), bytes.begin(), bytes.end());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out.flush());
}

int MxfMarkGrey(int n) {
    return greyOf(markLuma(n));
}

int MxfBackgroundGrey() {
    return greyOf(kBackgroundLuma);
}
