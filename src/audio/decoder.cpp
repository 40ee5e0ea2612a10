#include "audio/decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string_view>
#include <system_error>

#include "audio/audio_format.h"
#include "mp3_length.h"
#include "packet_dates.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/crc.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

namespace audio {
namespace {

// The containers a sound file of ours can come in. Anything else the prober recognises
// (playlists, image sequences, raw streams guessed from a few bytes) is refused.
constexpr const char* kAcceptedFormats = "wav,mp3,ogg,flac,aiff,mov,mp4,m4a,matroska,webm,asf,aac";

// How far before a seek target decoding starts for codecs whose frames depend on earlier ones
// (the mp3 bit reservoir, overlapped transforms); the extra samples are decoded and dropped.
constexpr int kPrerollDivisor = 4;  // 250 ms: an mp3 frame can borrow bits from several before it

// Some demuxers (mp3 among them) land near the requested time rather than before it, and some
// cannot seek close to the end. Each attempt starts further before the target: the codec's
// preroll, then twice and four times a preroll step more, in the end the very start.
constexpr int kSeekAttempts = 4;
std::int64_t SeekBackOff(int attempt, std::int64_t preroll, std::int64_t prerollStep, std::int64_t target) {
    if (attempt == 0) return preroll;
    if (attempt == kSeekAttempts - 1) return target;
    return (preroll + prerollStep) << attempt;
}

constexpr int kMaxSourceChannels = 64;
// Beyond any real recording; a corrupt header claiming more would make the resampler build
// filter tables for seconds and gigabytes.
constexpr int kMaxSourceRate = 768000;

std::uint32_t PacketChecksum(const AVPacket* packet) {
    return av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, packet->data, static_cast<std::size_t>(packet->size));
}

// Output frames of real input the resampler's filter needs behind a seek target.
constexpr std::int64_t kResamplerWarmUp = 64;
// Rates whose input/output alignment period is longer than this are started at the target as is.
constexpr std::int64_t kMaxAlignPeriod = 4800;

// The decoder moves `pts` past the encoder delay it trims; the best-effort guess does not follow.
std::int64_t FrameTimestamp(const AVFrame* frame) {
    return frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
}

void QuietLibraryLogs() {
    // A damaged file makes the decoders print per packet; the engine reports failures itself.
    static const bool once = [] {
        av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)once;
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// The container a file looks like to the prober, named even when we refuse it ("ffconcat").
std::string SeenFormat(const std::filesystem::path& path) {
    std::array<unsigned char, 4096 + AVPROBE_PADDING_SIZE> head{};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "unreadable";
    const std::size_t size = std::fread(head.data(), 1, 4096, file);
    std::fclose(file);
    if (size == 0) return "empty file";
    const std::string name = path.filename().string();
    AVProbeData probe{};
    probe.filename = name.c_str();
    probe.buf = head.data();
    probe.buf_size = static_cast<int>(size);
    const AVInputFormat* format = av_probe_input_format(&probe, 1);
    return format ? format->name : "no known format";
}

bool HeaderIsComplete(const AVFormatContext* format) {
    bool complete = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* params = stream->codecpar;
        if (params->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (params->sample_rate <= 0 || params->ch_layout.nb_channels <= 0) return false;
        if (stream->duration == AV_NOPTS_VALUE && format->duration == AV_NOPTS_VALUE) return false;
        complete = true;
    }
    return complete;
}

}  // namespace

std::unique_ptr<Decoder> Decoder::Open(const std::string& path, DecoderOpenError& error, std::string* why) {
    namespace fs = std::filesystem;
    QuietLibraryLogs();
    error = DecoderOpenError::None;
    std::error_code ec;
    const std::u8string utf8Path(path.begin(), path.end());
    const fs::path absolute = fs::absolute(fs::path(utf8Path), ec);
    if (path.empty() || ec || !fs::is_regular_file(absolute, ec)) {
        error = DecoderOpenError::FileNotFound;
        if (why) *why = fs::exists(absolute, ec) ? "not a regular file" : "no such file";
        return nullptr;
    }
    std::string reason;
    const auto fail = [&](DecoderOpenError kind) -> std::unique_ptr<Decoder> {
        error = kind;
        if (why) *why = reason + " (looks like: " + SeenFormat(absolute) + ")";
        return nullptr;
    };
    const std::u8string absoluteUtf8 = absolute.u8string();
    // The "file:" prefix makes the demuxer take every character after it as part of the name.
    const std::string url = "file:" + std::string(absoluteUtf8.begin(), absoluteUtf8.end());

    std::unique_ptr<Decoder> decoder(new Decoder());
    if (!decoder->openStream(url, reason)) return fail(DecoderOpenError::Unplayable);
    if (decoder->m_codec->codec_id == AV_CODEC_ID_MP3) {
        if (const auto samples = ExactMp3LengthSamples(absolute)) {
            decoder->m_lengthFrames = av_rescale(*samples, kSampleRate, decoder->m_sourceRate);
            decoder->m_lengthIsExact = true;
        }
    }
    // Decode the first chunk now: it proves the file holds playable audio and fixes the
    // timestamp of the first audible sample, which every later seek is measured from.
    if (!decoder->refill()) {
        reason = "no audio could be decoded";
        return fail(DecoderOpenError::Unplayable);
    }
    return decoder;
}

bool Decoder::openStream(const std::string& url, std::string& why) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kAcceptedFormats, 0);
    // mp3: seek through the exact frame index rather than the coarse table of contents.
    av_dict_set(&options, "usetoc", "0", 0);
    // PCM in a WAV is checked for a hidden compressed stream by probing its first packets with
    // every demuxer, again after each packet; limited to a couple of packets the check stays cheap.
    av_dict_set(&options, "max_probe_packets", "2", 0);
    const int opened = avformat_open_input(&m_format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        m_format = nullptr;
        why = "not opened as a sound file: " + ErrorText(opened);
        return false;
    }
    const std::string container = m_format->iformat->name;
    // Probing decodes ahead to fill in what a header left out. Most of our containers say all we
    // need (rate, channels, duration) in their header; skipping the probe keeps open fast.
    if (!HeaderIsComplete(m_format)) {
        if (const int found = avformat_find_stream_info(m_format, nullptr); found < 0) {
            why = container + ": " + ErrorText(found);
            return false;
        }
    }

    const AVCodec* codec = nullptr;
    m_streamIndex = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_streamIndex < 0 || codec == nullptr) {
        why = container + ": " +
              (m_streamIndex == AVERROR_DECODER_NOT_FOUND ? "no decoder for its audio" : "no audio stream");
        return false;
    }
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        if (static_cast<int>(i) != m_streamIndex) m_format->streams[i]->discard = AVDISCARD_ALL;
    }
    AVStream* stream = m_format->streams[m_streamIndex];

    m_codec = avcodec_alloc_context3(codec);
    why = container + "/" + codec->name + ": the decoder does not start";
    if (m_codec == nullptr || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0) return false;
    m_codec->pkt_timebase = stream->time_base;
    m_codec->thread_count = 1;  // many devices decode at once; one thread each keeps memory small
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return false;
    m_sourceRate = m_codec->sample_rate;
    const int channels = m_codec->ch_layout.nb_channels;
    if (m_sourceRate <= 0 || m_sourceRate > kMaxSourceRate || channels <= 0 || channels > kMaxSourceChannels) {
        why = container + "/" + codec->name + ": " + std::to_string(channels) + " channels at " +
              std::to_string(m_sourceRate) + " Hz";
        return false;
    }
    m_mono = channels == 1;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    // Lossy audio codecs are flagged intra-only yet overlap their transforms (and mp3 borrows bits
    // from earlier frames); only the lossless ones decode a frame cleanly on its own.
    m_needsPreroll = !(descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS));

    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        m_lengthFrames = av_rescale_q(stream->duration, stream->time_base, AVRational{1, kSampleRate});
    } else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        m_lengthFrames = av_rescale_q(m_format->duration, AV_TIME_BASE_Q, AVRational{1, kSampleRate});
    }
    // After a seek, the mp3 demuxer dates packets from the byte offset (wrong at variable bit
    // rates) and the Ogg demuxer dates its first page from a guessed block size. Both date packets
    // exactly when read from the start, so for them we note every packet's time once, on the first
    // seek, and date packets from that table afterwards.
    if (container == "mp3" || container == "ogg") m_packetDates = std::make_unique<PacketDates>();
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (m_packet == nullptr || m_frame == nullptr) return false;
    why.clear();
    return true;
}

Decoder::~Decoder() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_swr);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
}

bool Decoder::seek(std::int64_t frame) {
    frame = std::max<std::int64_t>(frame, 0);
    m_position = frame;
    if (m_packetDates && m_packetDates->empty() && frame > 0) buildPacketTable();
    avcodec_flush_buffers(m_codec);
    swr_free(&m_swr);
    m_pending.clear();
    m_pendingPos = 0;
    m_stage = Stage::Decoding;

    // With resampling, start the resampler a little before the target, on a frame where input and
    // output samples line up exactly (every 147 input samples make 160 output samples at 44.1 kHz),
    // and drop the surplus output: the samples then equal those of an uninterrupted decode.
    std::int64_t alignedFrame = frame;
    if (m_sourceRate != kSampleRate) {
        const std::int64_t common = std::gcd(m_sourceRate, kSampleRate);
        const std::int64_t periodOut = kSampleRate / common;
        if (m_sourceRate / common <= kMaxAlignPeriod) {
            alignedFrame = std::max<std::int64_t>(frame - kResamplerWarmUp, 0) / periodOut * periodOut;
        }
    }
    m_dropOutputFrames = frame - alignedFrame;
    const std::int64_t target = av_rescale(alignedFrame, m_sourceRate, kSampleRate);
    // The first packet after the seek tells where we really are; when it starts too late to decode
    // the target cleanly, seek again further back (SeekBackOff).
    const std::int64_t prerollStep = m_sourceRate / kPrerollDivisor;
    const std::int64_t preroll = m_needsPreroll ? prerollStep : 0;
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
        // Near the start this asks for a time before zero, so codecs that open with priming
        // packets (AAC) get them back and decode their first frame as they did from the start.
        if (!seekDemuxer(target - SeekBackOff(attempt, preroll, prerollStep, target))) {
            if (attempt == kSeekAttempts - 1) return false;
            continue;
        }
        const std::int64_t landed = readFirstPacketStart();
        if (landed == INT64_MIN || landed <= std::max<std::int64_t>(target - preroll / 2, 0)) break;
        av_packet_unref(m_packet);
    }
    if (m_packet->data != nullptr || m_packet->side_data_elems > 0) {
        avcodec_send_packet(m_codec, m_packet);
        av_packet_unref(m_packet);
    }
    m_dropBefore = target;
    return true;
}

bool Decoder::seekDemuxer(std::int64_t sourceSample) {
    AVStream* stream = m_format->streams[m_streamIndex];
    const std::int64_t origin = m_originPts == INT64_MIN ? 0 : m_originPts;
    const std::int64_t timestamp = av_rescale_q(sourceSample, AVRational{1, m_sourceRate}, stream->time_base) + origin;
    avcodec_flush_buffers(m_codec);
    if (m_packetDates) m_packetDates->lostPlace();
    int rc = avformat_seek_file(m_format, m_streamIndex, INT64_MIN, timestamp, timestamp, 0);
    if (rc < 0) rc = av_seek_frame(m_format, m_streamIndex, timestamp, AVSEEK_FLAG_BACKWARD);
    return rc >= 0;
}

void Decoder::buildPacketTable() {
    // One pass over the packets from the start (no decoding), where the demuxer's times are exact.
    if (avformat_seek_file(m_format, m_streamIndex, INT64_MIN, 0, 0, 0) < 0) return;
    while (av_read_frame(m_format, m_packet) >= 0) {
        if (m_packet->stream_index == m_streamIndex) {
            m_packetDates->note(m_packet->pos, PacketChecksum(m_packet), m_packet->pts);
        }
        av_packet_unref(m_packet);
    }
    m_packetDates->noted();
}

int Decoder::readPacket() {
    const int rc = av_read_frame(m_format, m_packet);
    if (rc < 0 || m_packet->stream_index != m_streamIndex || !m_packetDates) return rc;
    const std::optional<std::int64_t> estimate =
        m_packet->pts == AV_NOPTS_VALUE ? std::nullopt : std::optional<std::int64_t>(m_packet->pts);
    if (const auto exact = m_packetDates->date(m_packet->pos, PacketChecksum(m_packet), estimate)) {
        m_packet->pts = m_packet->dts = *exact;
    }
    return rc;
}

std::int64_t Decoder::readFirstPacketStart() {
    while (readPacket() >= 0) {
        if (m_packet->stream_index != m_streamIndex) {
            av_packet_unref(m_packet);
            continue;
        }
        if (m_packet->pts == AV_NOPTS_VALUE || m_originPts == INT64_MIN) return INT64_MIN;
        return av_rescale_q(m_packet->pts - m_originPts, m_format->streams[m_streamIndex]->time_base,
                            AVRational{1, m_sourceRate});
    }
    m_stage = Stage::Decoding;  // at the end already: the normal read path drains
    return INT64_MIN;
}

std::size_t Decoder::read(float* out, std::size_t maxFrames) {
    if (m_lengthIsExact) {
        // Frames past the exact length are encoder padding the decoder did not trim.
        maxFrames = static_cast<std::size_t>(
            std::clamp<std::int64_t>(m_lengthFrames - m_position, 0, static_cast<std::int64_t>(maxFrames)));
    }
    std::size_t produced = 0;
    while (produced < maxFrames) {
        if (m_pendingPos >= m_pending.size() && !refill()) break;
        const std::size_t available = (m_pending.size() - m_pendingPos) / kChannels;
        const std::size_t take = std::min(available, maxFrames - produced);
        std::copy_n(m_pending.data() + m_pendingPos, take * kChannels, out + produced * kChannels);
        m_pendingPos += take * kChannels;
        produced += take;
    }
    m_position += static_cast<std::int64_t>(produced);
    return produced;
}

bool Decoder::refill() {
    while (m_pendingPos >= m_pending.size()) {
        m_pending.clear();
        m_pendingPos = 0;
        if (m_stage == Stage::Done) return false;
        if (receiveFrame()) continue;
        if (m_stage == Stage::Decoding) {
            if (readPacket() < 0) {
                avcodec_send_packet(m_codec, nullptr);  // end of input: let the decoder drain
                m_stage = Stage::DrainingDecoder;
                continue;
            }
            // A damaged packet is skipped; the decoder resynchronises on the next one.
            if (m_packet->stream_index == m_streamIndex) avcodec_send_packet(m_codec, m_packet);
            av_packet_unref(m_packet);
        } else {
            // Decoder drained: the resampler still holds its last few frames.
            if (m_swr != nullptr) convert(nullptr, 0);
            m_stage = Stage::Done;
        }
    }
    return true;
}

std::int64_t Decoder::frameStartSample() const {
    const std::int64_t ts = FrameTimestamp(m_frame);
    if (ts == AV_NOPTS_VALUE || m_originPts == INT64_MIN) return INT64_MIN;
    return av_rescale_q(ts - m_originPts, m_format->streams[m_streamIndex]->time_base, AVRational{1, m_sourceRate});
}

bool Decoder::receiveFrame() {
    if (avcodec_receive_frame(m_codec, m_frame) < 0) return false;
    const int channels = m_frame->ch_layout.nb_channels;
    if (channels <= 0 || channels > kMaxSourceChannels || m_frame->nb_samples <= 0 || m_frame->sample_rate <= 0 ||
        m_frame->sample_rate > kMaxSourceRate) {
        av_frame_unref(m_frame);
        return true;
    }
    if (m_swr != nullptr &&
        (channels != m_swrChannels || m_frame->format != m_swrFormat || m_frame->sample_rate != m_swrRate)) {
        // The stream changed shape: hand out what the old set-up still holds, then start afresh.
        convert(nullptr, 0);
        swr_free(&m_swr);
    }
    if (m_originPts == INT64_MIN && FrameTimestamp(m_frame) != AV_NOPTS_VALUE) {
        m_originPts = FrameTimestamp(m_frame);
    }
    int offset = 0;
    if (m_dropBefore >= 0) {
        const std::int64_t start = frameStartSample();
        if (start == INT64_MIN) {
            m_dropBefore = -1;  // no timestamps: play from where the demuxer landed
        } else if (start + m_frame->nb_samples <= m_dropBefore) {
            av_frame_unref(m_frame);
            return true;
        } else {
            offset = static_cast<int>(std::max<std::int64_t>(m_dropBefore - start, 0));
            m_dropBefore = -1;
        }
    }
    if (!ensureResampler()) {
        av_frame_unref(m_frame);
        return true;
    }
    const auto format = static_cast<AVSampleFormat>(m_frame->format);
    const int bytesPerSample = av_get_bytes_per_sample(format);
    std::array<const std::uint8_t*, kMaxSourceChannels> input{};
    if (av_sample_fmt_is_planar(format)) {
        for (int c = 0; c < channels; ++c) input[c] = m_frame->extended_data[c] + offset * bytesPerSample;
    } else {
        input[0] = m_frame->extended_data[0] + static_cast<std::ptrdiff_t>(offset) * bytesPerSample * channels;
    }
    convert(input.data(), m_frame->nb_samples - offset);
    av_frame_unref(m_frame);
    return true;
}

bool Decoder::ensureResampler() {
    if (m_swr != nullptr) return true;
    AVChannelLayout inLayout{};
    if (m_frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&inLayout, m_frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&inLayout, &m_frame->ch_layout) < 0) {
        return false;
    }
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, m_mono ? 1 : 2);
    const int rc = swr_alloc_set_opts2(&m_swr, &outLayout, AV_SAMPLE_FMT_FLT, kSampleRate, &inLayout,
                                       static_cast<AVSampleFormat>(m_frame->format), m_frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    if (rc < 0 || swr_init(m_swr) < 0) {
        swr_free(&m_swr);
        return false;
    }
    m_swrChannels = m_frame->ch_layout.nb_channels;
    m_swrFormat = m_frame->format;
    m_swrRate = m_frame->sample_rate;
    return true;
}

void Decoder::convert(const std::uint8_t** input, int inputSamples) {
    const int outChannels = m_mono ? 1 : 2;
    const int capacity = swr_get_out_samples(m_swr, inputSamples);
    if (capacity <= 0) return;
    m_convertScratch.resize(static_cast<std::size_t>(capacity) * outChannels);
    std::uint8_t* output[1] = {reinterpret_cast<std::uint8_t*>(m_convertScratch.data())};
    const int got = swr_convert(m_swr, output, capacity, input, inputSamples);
    if (got <= 0) return;
    int skip = 0;
    if (m_dropOutputFrames > 0) {
        skip = static_cast<int>(std::min<std::int64_t>(m_dropOutputFrames, got));
        m_dropOutputFrames -= skip;
    }
    const std::size_t base = m_pending.size();
    m_pending.resize(base + static_cast<std::size_t>(got - skip) * kChannels);
    float* dst = m_pending.data() + base;
    // A damaged stream can decode to NaN or infinity; they would poison the whole mix.
    auto finite = [](float x) { return std::isfinite(x) ? x : 0.0f; };
    if (m_mono) {
        for (int i = skip; i < got; ++i) dst[2 * (i - skip)] = dst[2 * (i - skip) + 1] = finite(m_convertScratch[i]);
    } else {
        for (int i = skip * 2; i < got * 2; ++i) dst[i - skip * 2] = finite(m_convertScratch[i]);
    }
}

}  // namespace audio
