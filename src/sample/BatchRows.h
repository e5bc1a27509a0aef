// What every computation of a CallFunc batch shares: reading a row's argument list where it lies in
// the batch, a row that fails with its text, and writing a row's value or error back.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"

namespace sample {

// A row that cannot be computed. `text` is a Simplified Chinese text; `parts` fill in its %1, %2 …
struct RowError {
  std::u16string text;
  std::vector<std::u16string> parts = {};
};

// How a row's error reads in the batch: the text as it stands, or in the process language.
using Wording = std::function<std::u16string(std::u16string_view text)>;

// The error's text worded by `wording` (as it stands when there is none), its pieces filled in.
inline std::u16string wordedError(const RowError& e, const Wording& wording) {
  const std::u16string text = wording ? wording(e.text) : e.text;
  // One pass over the worded text: a piece that itself holds "%1" goes in as it stands.
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t end = i + 1;
    std::size_t n = 0;
    while (text[i] == u'%' && end < text.size() && text[end] >= u'0' && text[end] <= u'9' && end - i < 4)
      n = n * 10 + (text[end++] - u'0');
    if (end > i + 1 && n >= 1 && n <= e.parts.size()) {
      out += e.parts[n - 1];
      i = end - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A row's argument list, read where it lies in the batch.
class Arguments {
 public:
  explicit Arguments(const automation::Variant& list) {
    if (list.isArray()) {
      values_ = list.array().elements();
    } else if (!list.isEmpty()) {
      values_ = std::span(&list, 1);
    }
  }
  std::size_t size() const { return values_.size(); }
  const automation::Variant& at(std::size_t i) const {
    static const automation::Variant none;
    return i < values_.size() ? values_[i] : none;
  }
  bool given(std::size_t i) const {
    const automation::Variant& v = at(i);
    return !v.isEmpty() && !v.isMissing() && !(v.isString() && automation::trim(v.asString()).empty());
  }
  std::u16string text(std::size_t i, std::u16string fallback = {}) const {
    if (!given(i)) return fallback;
    try {
      return automation::trim(automation::toText(at(i)));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  std::string utf8(std::size_t i, std::u16string fallback = {}) const {
    return automation::toUtf8(text(i, std::move(fallback)));
  }
  std::int32_t integer(std::size_t i, std::int32_t fallback) const {
    if (!given(i)) return fallback;
    try {
      return automation::toLong(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  double number(std::size_t i, double fallback) const {
    if (!given(i)) return fallback;
    try {
      return automation::toDouble(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }
  std::optional<automation::Date> date(std::size_t i) const {
    if (!given(i)) return std::nullopt;
    try {
      return automation::toDate(at(i));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }

 private:
  std::span<const automation::Variant> values_;
};

// The function's name in upper case, once the batch is known to have the host's layout.
inline std::u16string checkedName(const automation::VariantArray& batch, std::u16string_view func) {
  if (batch.dimensions() != 2 || batch.ubound(2) - batch.lbound(2) < 2) {
    automation::raise(automation::errors::SubscriptOutOfRange,
                      u"CallFunc needs a batch of rows with three columns");
  }
  return automation::upper(automation::trim(func));
}

inline void writeValue(automation::VariantArray& batch, std::int32_t r, automation::Variant value) {
  const std::int32_t c0 = batch.lbound(2);
  batch(r, c0 + 1) = std::move(value);
  batch(r, c0 + 2) = automation::Variant(u"");
}

inline void writeError(automation::VariantArray& batch, std::int32_t r, std::u16string text) {
  const std::int32_t c0 = batch.lbound(2);
  batch(r, c0 + 1) = automation::Variant{};
  batch(r, c0 + 2) = automation::Variant(std::move(text));
}

// Runs one row's `step`; a failure becomes the row's error text and is counted in `failed`.
template <class Step>
void guardedRow(automation::VariantArray& batch, std::int32_t r, std::int32_t& failed, Step step,
                const Wording& wording = {}) {
  try {
    step();
    return;
  } catch (const RowError& e) {
    writeError(batch, r, wordedError(e, wording));
  } catch (const std::exception& e) {
    writeError(batch, r, u"#" + automation::fromUtf8(e.what()));
  }
  ++failed;
}

}  // namespace sample
