// Progress figures of a transfer.
#include "winhttp/statistics.h"

#include <cmath>

namespace winhttp {

std::int64_t RoundHalfEven(long double value) noexcept {
  // nearbyint rounds in the current mode, which is to nearest with ties to even unless someone
  // changed it; it raises no inexact exception.
  const long double rounded = std::nearbyint(value);
  constexpr long double kLimit = 9223372036854775807.0L;
  if (!(rounded >= -kLimit && rounded <= kLimit)) return 0;  // also NaN
  return static_cast<std::int64_t>(rounded);
}

std::uint8_t PercentOf(std::uint32_t count, std::uint32_t total) noexcept {
  if (total == 0) return 0;
  const long double percent = static_cast<long double>(count) * 100.0L / total;
  return static_cast<std::uint8_t>(RoundHalfEven(percent) & 0xFF);
}

TransferStatistics ComputeStatistics(std::uint32_t start_position, std::uint32_t data_length,
                                     std::uint32_t bytes_transferred, std::uint32_t start_tick,
                                     std::uint32_t now_tick) noexcept {
  TransferStatistics s;
  const std::uint32_t n = bytes_transferred;
  const std::uint32_t l = data_length;
  s.percents_done = PercentOf(n + start_position, l + start_position);
  s.elapsed_time = static_cast<std::uint32_t>(now_tick - start_tick) / 1000u;

  const auto elapsed = static_cast<std::int64_t>(s.elapsed_time);
  std::int64_t estimated = -elapsed;
  if (n != 0) {
    const long double quotient = static_cast<long double>(l) / static_cast<long double>(n);
    estimated = RoundHalfEven(quotient * static_cast<long double>(s.elapsed_time)) - elapsed;
  }
  // Kept to its low 32 bits, as a 32-bit signed store keeps it.
  s.estimated_time_left = static_cast<std::int32_t>(static_cast<std::uint32_t>(estimated));

  s.transfer_rate = static_cast<float>(static_cast<long double>(n) / 1024.0L);
  if (s.elapsed_time != 0) {
    s.transfer_rate = static_cast<float>(static_cast<long double>(s.transfer_rate) /
                                         static_cast<long double>(s.elapsed_time));
  }
  return s;
}

}  // namespace winhttp
