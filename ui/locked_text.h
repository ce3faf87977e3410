// A text that several threads read and replace: every access holds the text's lock, so a reader
// always sees one whole value. Used for the two error display lines, which the workers and the
// library callbacks fill while the window thread paints them.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

class CLockedText {
 public:
  CLockedText() = default;
  CLockedText(const CLockedText&) = delete;
  CLockedText& operator=(const CLockedText&) = delete;

  std::string Get() const {
    std::lock_guard lock(m_mutex);
    return m_text;
  }
  void Set(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.assign(text);
  }
  CLockedText& operator=(std::string_view text) {
    Set(text);
    return *this;
  }
  void Clear() { Set({}); }
  bool IsEmpty() const {
    std::lock_guard lock(m_mutex);
    return m_text.empty();
  }

 private:
  mutable std::mutex m_mutex;
  std::string m_text;
};
