#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

namespace kstbell {

// The transfer buffer that holds the content of a file write or a firmware image. Allocated
// zeroed on first use and kept; pages nobody has written are not resident, and a session that
// never transfers anything never allocates it.
class TImageBuffer {
  public:
    static constexpr std::size_t kSize = 20'971'520;

    std::uint8_t* data() {
        if (!bytes_) {
            bytes_.reset(static_cast<std::uint8_t*>(std::calloc(kSize, 1)));
            if (!bytes_) throw std::bad_alloc();
        }
        return bytes_.get();
    }
    static constexpr std::size_t size() { return kSize; }
    std::span<std::uint8_t> span() { return {data(), kSize}; }

  private:
    struct TFree {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, TFree> bytes_;
};

}  // namespace kstbell
