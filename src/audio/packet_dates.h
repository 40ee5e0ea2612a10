#pragma once
// The exact time of every packet of a file, noted in one pass over it from the start, where the
// demuxer dates packets exactly. After a seek the mp3 and Ogg demuxers date packets wrongly; the
// decoder then dates each packet it reads from here instead.
//
// A packet is found by its file offset and a checksum of its contents. Reading on from a found
// packet, the next one is expected at the next entry, so reading costs one comparison a packet;
// only the first packet after a seek, or one after a parser resynchronised, is searched for.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace audio {

class PacketDates {
public:
    bool empty() const { return m_marks.empty(); }
    // Notes one packet of the pass from the start; in stream order.
    void note(std::int64_t pos, std::uint32_t checksum, std::int64_t pts);
    void noted() { m_marks.shrink_to_fit(); }
    // The demuxer moved: the next packet is searched for.
    void lostPlace() { m_next = kNotFollowing; }
    // The exact time of a packet just read, nullopt when none in the table matches it.
    // `estimate` is the demuxer's own time for it, when it has one: of packets with the same
    // contents but another offset, the one nearest to it is taken.
    std::optional<std::int64_t> date(std::int64_t pos, std::uint32_t checksum, std::optional<std::int64_t> estimate);

private:
    struct Mark {
        std::int64_t pos;        // byte offset the demuxer reports for the packet
        std::uint32_t checksum;  // of its contents
        std::int64_t pts;        // its exact time
    };
    static constexpr std::size_t kNotFollowing = static_cast<std::size_t>(-1);
    std::size_t find(std::int64_t pos, std::uint32_t checksum, std::optional<std::int64_t> estimate) const;

    std::vector<Mark> m_marks;           // every packet in stream order
    std::size_t m_next = kNotFollowing;  // entry the next packet should match
};

}  // namespace audio
