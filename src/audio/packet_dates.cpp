#include "packet_dates.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace audio {

void PacketDates::note(std::int64_t pos, std::uint32_t checksum, std::int64_t pts) {
    m_marks.push_back({pos, checksum, pts});
}

std::optional<std::int64_t> PacketDates::date(std::int64_t pos, std::uint32_t checksum,
                                              std::optional<std::int64_t> estimate) {
    if (m_marks.empty()) return std::nullopt;
    if (m_next >= m_marks.size() || m_marks[m_next].checksum != checksum) m_next = find(pos, checksum, estimate);
    if (m_next == kNotFollowing) return std::nullopt;
    return m_marks[m_next++].pts;
}

std::size_t PacketDates::find(std::int64_t pos, std::uint32_t checksum, std::optional<std::int64_t> estimate) const {
    // Same file offset, same contents. Identical packets there (digital silence) are
    // interchangeable, so the first is as good as any.
    auto it =
        std::lower_bound(m_marks.begin(), m_marks.end(), pos, [](const Mark& m, std::int64_t p) { return m.pos < p; });
    for (; it != m_marks.end() && it->pos == pos; ++it) {
        if (it->checksum == checksum) return static_cast<std::size_t>(it - m_marks.begin());
    }
    // The offset differs (a parser resynchronised): the contents alone, nearest in time to the
    // demuxer's own estimate.
    std::size_t found = kNotFollowing;
    std::uint64_t nearest = std::numeric_limits<std::uint64_t>::max();
    for (std::size_t i = 0; i < m_marks.size(); ++i) {
        if (m_marks[i].checksum != checksum) continue;
        const std::uint64_t distance =
            estimate ? static_cast<std::uint64_t>(std::llabs(m_marks[i].pts - *estimate)) : 0;
        if (distance < nearest) {
            nearest = distance;
            found = i;
        }
    }
    return found;
}

}  // namespace audio
