// The progress figures of a transfer: percentage done, elapsed and estimated remaining time, and
// the transfer rate, from the byte counts and the tick counts.
//
// Rounding to an integer is to the nearest integer with halves going to the even neighbour (0.5
// gives 0, 1.5 gives 2, 2.5 gives 2), computed in extended precision (long double) under the
// default rounding mode. Pure functions: any thread, never throw.
#pragma once

#include <cstdint>

namespace winhttp {

// Rounds to the nearest integer, halves to even. Values outside the 64-bit range (and NaN) give 0.
std::int64_t RoundHalfEven(long double value) noexcept;

// 0 when total is 0; otherwise count * 100 / total rounded, of which the low 8 bits are the
// result (so 300 % reads as 44).
std::uint8_t PercentOf(std::uint32_t count, std::uint32_t total) noexcept;

struct TransferStatistics {
  std::uint8_t percents_done = 0;
  std::uint32_t elapsed_time = 0;        // whole seconds, rounded down
  std::int32_t estimated_time_left = 0;  // seconds
  float transfer_rate = 0.0f;            // kibibytes per second
};

// The figures after `bytes_transferred` (N) of `data_length` (L) bytes of a transfer that starts
// at `start_position` (S), started at tick `start_tick` and observed at tick `now_tick`:
//   percents_done       PercentOf(N + S, L + S), the sums in 32-bit unsigned arithmetic;
//   elapsed_time        (now_tick - start_tick) div 1000 in 32-bit unsigned arithmetic (a wrap of
//                       the tick count in between is harmless);
//   estimated_time_left round(L / N * elapsed_time) - elapsed_time, as a 32-bit signed integer
//                       (-elapsed_time when L is 0, and when N is 0, which a transfer never
//                       asks about: nothing is known then);
//   transfer_rate       N / 1024 in single precision, divided by elapsed_time (single precision
//                       again) when that is not 0: during the first second it is the number of
//                       kibibytes moved so far.
TransferStatistics ComputeStatistics(std::uint32_t start_position, std::uint32_t data_length,
                                     std::uint32_t bytes_transferred, std::uint32_t start_tick,
                                     std::uint32_t now_tick) noexcept;

}  // namespace winhttp
