#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kstbell {

// The hidden trace memo: the newest kCapacity lines, oldest first. Appended counts every line
// ever added, so a viewer that keeps its own copy knows how many lines are new even after the
// oldest ones were dropped.
class TTraceMemo {
  public:
    static constexpr std::size_t kCapacity = 10'000;

    void push_back(std::string line) {
        if (lines_.size() == kCapacity) lines_.pop_front();
        lines_.push_back(std::move(line));
        ++appended_;
    }
    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t i) const { return lines_[i]; }
    const std::string& front() const { return lines_.front(); }
    const std::string& back() const { return lines_.back(); }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }
    std::uint64_t Appended() const { return appended_; }
    // Forgets the lines; the count of lines appended goes on.
    void clear() { lines_.clear(); }

    friend bool operator==(const TTraceMemo& memo, const std::vector<std::string>& lines) {
        return std::equal(memo.begin(), memo.end(), lines.begin(), lines.end());
    }

  private:
    std::deque<std::string> lines_;
    std::uint64_t appended_ = 0;
};

}  // namespace kstbell
