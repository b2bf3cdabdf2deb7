#include "mxf/mxfreader.h"

#include "feedback/log.h"
#include "mxf/mxfinput.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

using Clock = std::chrono::steady_clock;

// The operational pattern's label up to its qualifiers; byte 7 (the
// registry's version) may be 1 or 2, so it is left out of the comparison.
constexpr char kOpAtomPrefix[] = "060e2b34.040101";
constexpr char kOpAtomMiddle[] = ".0d010201.10";

// At most this many packets are read for one frame, besides the deadline:
// a file whose packets all belong to other streams ends the search too.
constexpr int kMaxPacketsPerFrame = 4096;

// libavformat asks this in some of its loops; true ends the one in progress.
int deadlinePassed(void* opaque) {
    return static_cast<MxfDeadline*>(opaque)->Passed() ? 1 : 0;
}

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string metadataText(const AVDictionary* dictionary, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

bool isOpAtom(const std::string& label) {
    return label.size() == 35 && label.compare(0, 15, kOpAtomPrefix) == 0 &&
           label.compare(17, 12, kOpAtomMiddle) == 0;
}

bool isUsable(AVRational r) {
    return r.num > 0 && r.den > 0;
}

// FFmpeg's own messages would go to the terminal of a desktop program; a
// failure is logged by the reader itself, in one line.
void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// The displayed size from the descriptor, where it gives a usable one.
void readDisplaySize(const MxfHeaderFacts& header, MxfFacts& facts) {
    facts.displayWidth = facts.width;
    facts.displayHeight = facts.height;
    // SeparateFields (1) and SegmentedFrame (4) give a field's height.
    const std::uint64_t fields = header.frameLayout == 1 || header.frameLayout == 4 ? 2 : 1;
    const std::uint64_t height = header.displayHeight * fields;
    if (header.displayWidth > 0 && header.displayWidth <= INT_MAX && height > 0 &&
        height <= INT_MAX) {
        facts.displayWidth = static_cast<int>(header.displayWidth);
        facts.displayHeight = static_cast<int>(height);
    }
}

void readSound(const AVStream& stream, const MxfHeaderFacts& header, MxfFacts& facts) {
    const AVCodecParameters* parameters = stream.codecpar;
    facts.hasSound = true;
    facts.channels = std::max(0, parameters->ch_layout.nb_channels);
    facts.sampleRate = std::max(0, parameters->sample_rate);
    if (facts.sampleRate > 0 && stream.duration > 0 && isUsable(stream.time_base))
        facts.sampleCount =
            av_rescale_q(stream.duration, stream.time_base, AVRational{1, facts.sampleRate});
    if (facts.sampleCount < 0)
        facts.sampleCount = 0;
    facts.timecodeRateNumerator = 25;
    facts.timecodeRateDenominator = 1;
    if (header.videoRateDenominator > 0) {
        facts.timecodeRateNumerator = header.videoRateNumerator;
        facts.timecodeRateDenominator = header.videoRateDenominator;
    }
}

} // namespace

struct MxfReader::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    std::vector<std::uint8_t> converted;
    int stream = -1;
    AVRational frameRate{0, 1};
    std::int64_t startTime = 0;
    // The number of the frame held in `frame`, and of the frame the next
    // packet is expected to give; -1 when unknown (the next read seeks).
    std::int64_t current = -1;
    std::int64_t next = -1;
    bool decoderFailed = false;
    bool draining = false;
    MxfDeadline deadline;
    // The demuxer's input; it outlives the demuxer reading from it.
    std::unique_ptr<MxfInput> input;

    ~State() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }
};

int MxfReader::OpenDemuxer(const std::string& path, State& state) {
    avformat_close_input(&state.format);
    state.input = std::make_unique<MxfInput>(state.deadline);
    int result = state.input->Open(path);
    if (result < 0)
        return result;
    state.format = avformat_alloc_context();
    if (state.format == nullptr)
        return AVERROR(ENOMEM);
    state.format->pb = state.input->Context();
    state.format->interrupt_callback = {deadlinePassed, &state.deadline};
    // The format is named, so nothing is probed; what the header metadata
    // does not say is not looked for in the essence either.
    state.format->probesize = 32 << 10;
    state.format->max_analyze_duration = 0;
    // Index tables and metadata are read while the demuxer opens the file;
    // after that it reads essence.
    state.input->SetChecking(true);
    result = avformat_open_input(&state.format, path.c_str(), av_find_input_format("mxf"), nullptr);
    state.input->SetChecking(false);
    // avformat_open_input frees the context when it fails.
    if (result < 0)
        state.format = nullptr;
    // A refused file may still have opened on what the demuxer was given.
    if (result >= 0 && !state.input->Refusal().empty()) {
        avformat_close_input(&state.format);
        result = AVERROR_INVALIDDATA;
    }
    return result;
}

// Why a demuxer did not open, for the log.
std::string MxfReader::FailureText(int result, const State& state) {
    if (!state.input->Refusal().empty())
        return state.input->Refusal();
    return state.deadline.expired ? "it took too long" : errorText(result);
}

MxfReader::MxfReader() = default;

MxfReader::~MxfReader() = default;

bool MxfReader::IsOpen() const {
    return m != nullptr;
}

const MxfFacts& MxfReader::Facts() const {
    return m_facts;
}

void MxfReader::SetTimeLimits(std::chrono::milliseconds open, std::chrono::milliseconds frame) {
    m_openTime = open;
    m_frameTime = frame;
}

void MxfReader::Close() {
    m.reset();
    m_facts = MxfFacts();
    m_path.clear();
}

bool MxfReader::Open(const std::string& path) {
    Close();
    quietLibraries();
    // A pipe or a device would block a read that no deadline can end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        LogF("MXF: %s is not a file", path.c_str());
        return false;
    }
    auto state = std::make_unique<State>();
    state->deadline = {Clock::now() + m_openTime, false};
    const int result = OpenDemuxer(path, *state);
    if (result < 0) {
        if (state->deadline.expired && state->input->Refusal().empty())
            LogF("MXF: %s not read within %lld ms", path.c_str(),
                 static_cast<long long>(m_openTime.count()));
        else
            LogF("MXF: %s not read: %s", path.c_str(), FailureText(result, *state).c_str());
        return false;
    }

    AVFormatContext* format = state->format;
    m_facts.clipName = metadataText(format->metadata, "material_package_name");
    m_facts.projectName = metadataText(format->metadata, "project_name");
    m_facts.opAtom = isOpAtom(metadataText(format->metadata, "operational_pattern_ul"));
    // The picture, else whatever the file holds first (a sound file).
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            state->stream = static_cast<int>(i);
            break;
        }
        if (state->stream < 0)
            state->stream = static_cast<int>(i);
    }
    if (state->stream >= 0) {
        AVStream* stream = format->streams[state->stream];
        const AVCodecParameters* parameters = stream->codecpar;
        m_facts.sourceName = metadataText(stream->metadata, "reel_name");
        if (m_facts.sourceName.empty())
            m_facts.sourceName = metadataText(stream->metadata, "file_package_name");
        if (const AVCodecDescriptor* codec = avcodec_descriptor_get(parameters->codec_id)) {
            m_facts.codecName = codec->long_name != nullptr ? codec->long_name : codec->name;
            m_facts.codecShortName = codec->name;
        }
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            m_facts.hasPicture = true;
            // Sizes beyond 2^31 come out negative: unknown.
            m_facts.width = std::max(0, parameters->width);
            m_facts.height = std::max(0, parameters->height);
            AVRational rate = stream->avg_frame_rate;
            if (!isUsable(rate))
                rate = stream->r_frame_rate;
            if (!isUsable(rate) && isUsable(stream->time_base))
                rate = av_inv_q(stream->time_base);
            if (isUsable(rate)) {
                state->frameRate = rate;
                m_facts.frameRateNumerator = rate.num;
                m_facts.frameRateDenominator = rate.den;
            }
            if (stream->nb_frames > 0) {
                m_facts.frameCount = stream->nb_frames;
            } else if (stream->duration > 0 && isUsable(rate) && isUsable(stream->time_base)) {
                m_facts.frameCount =
                    av_rescale_q(stream->duration, stream->time_base, av_inv_q(rate));
            }
            if (m_facts.frameCount < 0)
                m_facts.frameCount = 0;
            state->startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            readDisplaySize(state->input->HeaderFacts(), m_facts);
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            readSound(*stream, state->input->HeaderFacts(), m_facts);
        }
    }
    // A new demuxer stands at the first frame.
    state->next = 0;
    m = std::move(state);
    m_path = path;
    return true;
}

bool MxfReader::OpenDecoder() {
    if (m->decoderFailed)
        return false;
    if (m->decoder != nullptr)
        return true;
    m->decoderFailed = true; // until it has opened
    const AVCodecParameters* parameters = m->format->streams[m->stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        LogF("MXF: no decoder for %s in %s", avcodec_get_name(parameters->codec_id),
             m_path.c_str());
        return false;
    }
    m->decoder = avcodec_alloc_context3(codec);
    m->frame = av_frame_alloc();
    m->packet = av_packet_alloc();
    if (m->decoder == nullptr || m->frame == nullptr || m->packet == nullptr ||
        avcodec_parameters_to_context(m->decoder, parameters) < 0)
        return false;
    // Slices of one frame in parallel; frame threads would hold frames back
    // and make every sought frame wait for several more.
    m->decoder->thread_count = 0;
    // Nothing larger is drawn; a damaged header asks for no more memory.
    m->decoder->max_pixels = kMaxFramePixels;
    m->decoder->thread_type = FF_THREAD_SLICE;
    const int result = avcodec_open2(m->decoder, codec, nullptr);
    if (result < 0) {
        LogF("MXF: the %s decoder did not open for %s: %s", codec->name, m_path.c_str(),
             errorText(result).c_str());
        return false;
    }
    m->decoderFailed = false;
    return true;
}

std::int64_t MxfReader::FrameNumberOf(std::int64_t timestamp) const {
    const AVStream* stream = m->format->streams[m->stream];
    return av_rescale_q_rnd(timestamp - m->startTime, stream->time_base, av_inv_q(m->frameRate),
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

bool MxfReader::SeekTo(std::int64_t n) {
    avcodec_flush_buffers(m->decoder);
    m->draining = false;
    m->current = -1;
    m->next = -1;
    int result = OpenDemuxer(m_path, *m);
    if (result >= 0 && static_cast<unsigned>(m->stream) >= m->format->nb_streams)
        result = AVERROR_INVALIDDATA; // the file changed since it was opened
    if (result >= 0) {
        const AVStream* stream = m->format->streams[m->stream];
        const std::int64_t timestamp =
            m->startTime + av_rescale_q(n, av_inv_q(m->frameRate), stream->time_base);
        result = av_seek_frame(m->format, m->stream, timestamp, AVSEEK_FLAG_BACKWARD);
    }
    if (result < 0) {
        LogF("MXF: frame %lld of %s not found: %s", static_cast<long long>(n), m_path.c_str(),
             FailureText(result, *m).c_str());
        return false;
    }
    m->next = n;
    return true;
}

bool MxfReader::DecodeUntil(std::int64_t n) {
    for (int packets = 0; packets < kMaxPacketsPerFrame;) {
        // Every frame the decoder has ready first.
        int result = avcodec_receive_frame(m->decoder, m->frame);
        if (result == 0) {
            std::int64_t number = m->next;
            const std::int64_t timestamp = m->frame->best_effort_timestamp;
            if (timestamp != AV_NOPTS_VALUE)
                number = FrameNumberOf(timestamp);
            m->next = number + 1;
            if (number >= n) {
                m->current = number;
                return true;
            }
            av_frame_unref(m->frame);
            continue;
        }
        if (result == AVERROR_EOF || (result != AVERROR(EAGAIN) && m->draining))
            return false;
        if (result != AVERROR(EAGAIN)) {
            LogF("MXF: frame %lld of %s does not decode: %s", static_cast<long long>(n),
                 m_path.c_str(), errorText(result).c_str());
            return false;
        }
        if (m->draining)
            return false;
        result = av_read_frame(m->format, m->packet);
        if (result < 0) {
            // At the end of the file the frames the decoder still holds
            // come out; a read that failed or ran out of time ends here.
            if (m->deadline.expired || result != AVERROR_EOF) {
                LogF("MXF: reading %s stopped: %s", m_path.c_str(),
                     m->deadline.expired ? "it took too long" : errorText(result).c_str());
                return false;
            }
            m->draining = true;
            avcodec_send_packet(m->decoder, nullptr);
            continue;
        }
        if (m->packet->stream_index == m->stream) {
            ++packets;
            // A packet the decoder refuses is skipped; the next may decode.
            avcodec_send_packet(m->decoder, m->packet);
        }
        av_packet_unref(m->packet);
        if (deadlinePassed(&m->deadline) != 0) {
            LogF("MXF: frame %lld of %s not reached within %lld ms", static_cast<long long>(n),
                 m_path.c_str(), static_cast<long long>(m_frameTime.count()));
            return false;
        }
    }
    return false;
}

bool MxfReader::DecodeFrame(std::int64_t n) {
    if (m == nullptr || !m_facts.hasPicture || n < 0 || !isUsable(m->frameRate) ||
        (m_facts.frameCount > 0 && n >= m_facts.frameCount))
        return false;
    if (n == m->current)
        return true;
    if (!OpenDecoder())
        return false;
    m->deadline = {Clock::now() + m_frameTime, false};
    if (n != m->next && !SeekTo(n))
        return false;
    const bool decoded = DecodeUntil(n);
    if (!decoded) {
        // Whatever state the decoder was left in, the next read seeks.
        m->current = -1;
        m->next = -1;
    }
    return decoded;
}

int MxfReader::FrameWidth() const {
    return m != nullptr && m->current >= 0 ? m->frame->width : 0;
}

int MxfReader::FrameHeight() const {
    return m != nullptr && m->current >= 0 ? m->frame->height : 0;
}

std::int64_t MxfReader::FrameNumber() const {
    return m != nullptr ? m->current : -1;
}

bool MxfReader::CopyFrameBgr(std::uint8_t* top, std::ptrdiff_t stride) {
    if (m == nullptr || m->current < 0 || top == nullptr)
        return false;
    const AVFrame* frame = m->frame;
    // A row of the destination must hold a row of the frame.
    if (frame->width <= 0 || frame->height <= 0 ||
        static_cast<std::size_t>(frame->width) * 3 > static_cast<std::size_t>(std::abs(stride)))
        return false;
    m->scaler = sws_getCachedContext(
        m->scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        frame->width, frame->height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (m->scaler == nullptr) {
        LogF("MXF: frames of %s cannot be drawn (%s)", m_path.c_str(),
             av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)));
        return false;
    }
    // libswscale writes whole blocks of pixels, past the end of a row whose
    // width is not a multiple of 8: it converts into rows of its own with
    // room to spare, which are then copied out at their exact width.
    const std::size_t rowBytes = static_cast<std::size_t>(frame->width) * 3;
    const std::size_t convertedStride = (rowBytes + 63) / 64 * 64;
    m->converted.resize(convertedStride * static_cast<std::size_t>(frame->height) + 64);
    std::uint8_t* rows[4] = {m->converted.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(convertedStride), 0, 0, 0};
    if (sws_scale(m->scaler, frame->data, frame->linesize, 0, frame->height, rows, strides) !=
        frame->height)
        return false;
    for (int y = 0; y < frame->height; ++y)
        std::memcpy(top + stride * y, m->converted.data() + convertedStride * y, rowBytes);
    return true;
}
