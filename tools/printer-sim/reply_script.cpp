#include "reply_script.h"

#include <cctype>
#include <utility>

namespace hrv::sim {
namespace {

constexpr size_t kMaxRepeat = 100000;

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || std::isspace(static_cast<unsigned char>(text[i])))) ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ',' && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

bool parseCount(std::string_view digits, size_t& out) {
  if (digits.empty() || digits.size() > 6) return false;
  out = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<size_t>(c - '0');
  }
  return out <= kMaxRepeat;
}

// Splits "step*N" into the step and its count.
bool splitRepeat(std::string_view word, std::string_view& step, size_t& count, std::string& error) {
  size_t star = word.rfind('*');
  step = word;
  count = 1;
  if (star == std::string_view::npos) return true;
  step = word.substr(0, star);
  if (step.empty() || !parseCount(word.substr(star + 1), count) || count == 0) {
    error = "bad repeat in \"" + std::string(word) + "\"";
    return false;
  }
  return true;
}

bool commonStep(std::string_view step, Reply& r, std::string& error) {
  if (step == "silent") {
    r.silent = true;
    r.label = "silent";
    return true;
  }
  if (step == "garbage") {
    r.bytes.assign(kGarbage);
    r.label = "garbage";
    return true;
  }
  if (step.substr(0, 4) == "raw:") {
    if (!unescape(step.substr(4), r.bytes)) {
      error = "bad escape in \"" + std::string(step) + "\"";
      return false;
    }
    r.label = "raw";
    return true;
  }
  error = "unknown step \"" + std::string(step) + "\"";
  return false;
}

template <typename StepParser>
bool parseScript(std::string_view text, Script& out, std::string& error, StepParser stepParser) {
  Script script;
  std::vector<std::string_view> list = words(text);
  if (list.empty()) {
    error = "empty script";
    return false;
  }
  for (std::string_view word : list) {
    std::string_view step;
    size_t count = 1;
    if (!splitRepeat(word, step, count, error)) return false;
    std::vector<Reply> replies;
    if (!stepParser(step, replies, error)) return false;
    for (size_t i = 0; i < count; ++i)
      for (const Reply& r : replies) script.steps.push_back(r);
  }
  out = std::move(script);
  return true;
}

bool lockStep(std::string_view step, std::vector<Reply>& out, std::string& error) {
  Reply ready{false, std::string(kLockReady), "ready"};
  Reply busy{false, std::string(kLockBusy), "busy"};
  if (step == "ready") {
    out.push_back(ready);
  } else if (step == "busy") {
    out.push_back(busy);
  } else if (step.substr(0, 5) == "busy:") {
    size_t n = 0;
    if (!parseCount(step.substr(5), n)) {
      error = "bad count in \"" + std::string(step) + "\"";
      return false;
    }
    out.insert(out.end(), n, busy);
    out.push_back(ready);
  } else {
    Reply r;
    if (!commonStep(step, r, error)) return false;
    out.push_back(std::move(r));
  }
  return true;
}

bool statusStep(std::string_view step, std::vector<Reply>& out, std::string& error) {
  if (step == "empty") {
    out.push_back(Reply{false, "", "empty"});
    return true;
  }
  if (!step.empty() && std::isdigit(static_cast<unsigned char>(step[0]))) {
    Reply r;
    size_t start = 0;
    while (start <= step.size()) {
      size_t plus = step.find('+', start);
      std::string_view code =
          step.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
      size_t value = 0;
      if (code.empty() || code.size() > 5 || !parseCount(code, value)) {
        error = "bad status code in \"" + std::string(step) + "\"";
        return false;
      }
      std::string padded = std::string(5 - code.size(), '0') + std::string(code);
      r.bytes += "CODE=" + padded + "\r\n";
      r.label += (r.label.empty() ? "" : "+") + padded;
      if (plus == std::string_view::npos) break;
      start = plus + 1;
    }
    out.push_back(std::move(r));
    return true;
  }
  Reply r;
  if (!commonStep(step, r, error)) return false;
  out.push_back(std::move(r));
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const Reply& Script::at(size_t index) const {
  return steps[index < steps.size() ? index : steps.size() - 1];
}

bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 's':
        out.push_back(' ');
        break;
      case 'c':
        out.push_back(',');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        int hi = hexDigit(text[i + 1]), lo = hexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

bool parseLockScript(std::string_view text, Script& out, std::string& error) {
  return parseScript(text, out, error, lockStep);
}

bool parseStatusScript(std::string_view text, Script& out, std::string& error) {
  return parseScript(text, out, error, statusStep);
}

Reply ScriptCursor::next(std::string_view text, std::string& error) {
  error.clear();
  if (!parsed_ || text != text_) {
    text_.assign(text);
    parsed_ = true;
    index_ = 0;
    valid_ = parser_(text, script_, error);
    if (!valid_) error_ = error;
  }
  if (!valid_) {
    error = error_;
    return Reply{true, "", "silent"};
  }
  return script_.at(index_++);
}

RequestMatcher::RequestMatcher(std::string_view request) : request_(request), fail_(request.size(), 0) {
  // Failure function of the Knuth-Morris-Pratt search.
  for (size_t i = 1, k = 0; i < request_.size(); ++i) {
    while (k > 0 && request_[i] != request_[k]) k = fail_[k - 1];
    if (request_[i] == request_[k]) ++k;
    fail_[i] = k;
  }
}

size_t RequestMatcher::feed(std::string_view chunk) {
  size_t found = 0;
  for (char c : chunk) {
    while (matched_ > 0 && c != request_[matched_]) matched_ = fail_[matched_ - 1];
    if (c == request_[matched_]) ++matched_;
    if (matched_ == request_.size()) {
      ++found;
      matched_ = fail_[matched_ - 1];
    }
  }
  return found;
}

}  // namespace hrv::sim
