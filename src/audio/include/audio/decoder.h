#pragma once
// Decodes the best audio stream of one file into the engine's output format (float, 48 kHz,
// interleaved stereo), a chunk at a time, so a device never holds a whole decoded file.
//
// Opening is guarded because a path handed to the demuxer library is really a URL: only the
// local file protocol is allowed, every name is opened as a file (so names with a colon work and
// "concat:" or "http://" name nothing but a missing file), and only the audio and video
// containers we play may be probed (so a playlist-like text file renamed .mp3 opens nothing).
//
// Positions are output frames counted from the first audible sample. A seek lands exactly on
// the requested frame: it seeks the demuxer a little before the target (far enough for the codec
// to settle), then drops decoded samples by their timestamps up to it. Where a demuxer's
// timestamps after a seek are unreliable (mp3, Ogg), packets are dated from a table of every
// packet's time noted in one pass over the file on the first seek (packet_dates.h).
//
// Not thread-safe: one owner at a time (the voice serialises access with its decode mutex).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

namespace audio {

class PacketDates;

enum class DecoderOpenError { None, FileNotFound, Unplayable };

class Decoder {
public:
    // `path` is UTF-8; a relative path resolves against the current directory. On failure `why`
    // (when given) says what went wrong in the demuxer's or decoder's words, with the container
    // format the file looked like.
    static std::unique_ptr<Decoder> Open(const std::string& path, DecoderOpenError& error, std::string* why = nullptr);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Length in output frames, from the container (no full decode).
    std::int64_t lengthFrames() const { return m_lengthFrames; }

    // Moves to `frame` (clamped to 0); the next read() starts exactly there.
    bool seek(std::int64_t frame);

    // Decodes up to `maxFrames` frames into `out` (interleaved stereo, finite values only).
    // Returns fewer only at the end of the stream; 0 once everything has been delivered.
    std::size_t read(float* out, std::size_t maxFrames);

private:
    enum class Stage { Decoding, DrainingDecoder, Done };
    Decoder() = default;
    bool openStream(const std::string& url, std::string& why);
    bool seekDemuxer(std::int64_t sourceSample);
    std::int64_t readFirstPacketStart();  // leaves that packet in m_packet
    int readPacket();                     // av_read_frame, dated from m_packetDates when there is one
    void buildPacketTable();
    bool refill();        // decodes until pending holds samples or the stream ends
    bool receiveFrame();  // one decoded frame into pending; false when none ready
    void convert(const std::uint8_t** input, int inputSamples);
    bool ensureResampler();
    std::int64_t frameStartSample() const;  // of m_frame, in source samples from the origin

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    // What the resampler was set up for: a damaged or joined file can change channels, sample
    // format or rate between frames, and feeding such a frame to the old set-up reads past its
    // planes.
    int m_swrChannels = 0;
    int m_swrFormat = -1;
    int m_swrRate = 0;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_streamIndex = -1;
    int m_sourceRate = 0;
    bool m_mono = false;         // mono sources are resampled as one channel and copied to both
    bool m_needsPreroll = true;  // codecs whose frames depend on earlier ones
    std::int64_t m_lengthFrames = 0;
    bool m_lengthIsExact = false;  // read from the mp3 header: nothing plays beyond it
    std::int64_t m_position = 0;   // output frame the next read() delivers
    // Containers whose times after a seek are unreliable only; filled on the first seek.
    std::unique_ptr<PacketDates> m_packetDates;
    std::int64_t m_originPts = INT64_MIN;  // timestamp of the first audible sample, learnt at open
    std::int64_t m_dropBefore = -1;        // source sample before which decoded audio is dropped
    std::int64_t m_dropOutputFrames = 0;   // resampled frames still to drop after a seek
    Stage m_stage = Stage::Decoding;
    std::vector<float> m_pending;  // converted stereo frames not yet handed out
    std::size_t m_pendingPos = 0;  // in floats
    std::vector<float> m_convertScratch;
};

}  // namespace audio
