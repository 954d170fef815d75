#include "wire/wireformat.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brevion::wire {

std::uint32_t ByteSum(const unsigned char* bytes, std::size_t count)
{
    std::uint32_t sum = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: psadbw adds each half into a 64-bit lane.
    __m128i lanes = _mm_setzero_si128();
    for (; count - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(v, _mm_setzero_si128()));
    }
    sum = std::uint32_t(_mm_cvtsi128_si32(lanes)) + std::uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
#else
    // Eight bytes at a time, added pairwise into four 16-bit lanes; 64 words add at most
    // 64 * 510 to a lane, so the lanes are folded into the sum before they can overflow.
    constexpr std::uint64_t kEven = 0x00FF00FF00FF00FFull;
    while (count - i >= 8) {
        const std::size_t words = std::min<std::size_t>((count - i) / 8, 64);
        std::uint64_t lanes = 0;
        for (std::size_t w = 0; w < words; ++w, i += 8) {
            std::uint64_t x;
            std::memcpy(&x, bytes + i, sizeof x);
            lanes += (x & kEven) + ((x >> 8) & kEven);
        }
        lanes = (lanes & 0x0000FFFF0000FFFFull) + ((lanes >> 16) & 0x0000FFFF0000FFFFull);
        sum += std::uint32_t(lanes) + std::uint32_t(lanes >> 32);
    }
#endif
    for (; i < count; ++i)
        sum += bytes[i];
    return sum;
}

std::uint16_t CommandChecksum(const unsigned char* bytes, std::size_t count)
{
    return CommandChecksumOfSum(ByteSum(bytes, count));
}

std::uint16_t ReplyChecksum(const unsigned char* bytes, std::size_t count)
{
    return ReplyChecksumOfSum(ByteSum(bytes, count));
}

SettingsLayout ChooseLayout(std::int32_t firmVersion, std::int32_t bootVersion)
{
    if (firmVersion >= kLoginFirmware || (firmVersion == 0 && bootVersion >= kLoginBootloader))
        return SettingsLayout::Login;
    if (firmVersion >= kRulesFirmware || (firmVersion == 0 && bootVersion >= kRulesBootloader))
        return SettingsLayout::Rules;
    return SettingsLayout::Basic;
}

} // namespace brevion::wire
