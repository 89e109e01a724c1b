// The registry's internal side: what translation needs of an id.
#pragma once

namespace qrv::codeset {

inline constexpr int kFirstId = 1;
inline constexpr int kLastId = 9;

struct Widths {
    int unit_bytes;
    int max_bytes;
};

// The code page of ids 1 to 9 (-1 for none, or a Locale not filled yet);
// any other id pushes 16525 and gives -1.
int code_page(int id) noexcept;
// The widths of ids 1 to 9 (zeros for others).
Widths widths(int id) noexcept;

}  // namespace qrv::codeset
