#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

namespace kstbell {

// The transfer buffer that holds the content of a file write or a firmware image. Allocated
// zeroed once and never freed; pages nobody has written are not resident.
class TImageBuffer {
  public:
    static constexpr std::size_t kSize = 20'971'520;

    TImageBuffer() : bytes_(static_cast<std::uint8_t*>(std::calloc(kSize, 1))) {
        if (!bytes_) throw std::bad_alloc();
    }
    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    static constexpr std::size_t size() { return kSize; }
    std::span<std::uint8_t> span() { return {bytes_.get(), kSize}; }

  private:
    struct TFree {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, TFree> bytes_;
};

}  // namespace kstbell
