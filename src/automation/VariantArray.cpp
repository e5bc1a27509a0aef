#include "automation/VariantArray.h"

#include "automation/Conversions.h"
#include "automation/Error.h"

namespace automation {
namespace {

Variant zeroOf(VarType type) {
  switch (type) {
    case VarType::Integer:
      return std::int16_t{0};
    case VarType::Long:
      return std::int32_t{0};
    case VarType::Single:
      return 0.0f;
    case VarType::Double:
      return 0.0;
    case VarType::Currency:
      return Currency{};
    case VarType::Date:
      return Date{};
    case VarType::String:
      return std::u16string{};
    case VarType::Object:
      return ObjectRef{};
    case VarType::Boolean:
      return false;
    case VarType::Decimal:
      return Decimal{};
    case VarType::Byte:
      return std::uint8_t{0};
    default:
      return Variant{};
  }
}

// More elements than this cannot be allocated (error 7, out of memory).
constexpr std::int64_t kMaxElements = std::int64_t{1} << 28;

std::size_t countOf(const std::vector<Bounds>& dims) {
  std::int64_t n = dims.empty() ? 0 : 1;
  for (const Bounds& b : dims) {
    const std::int64_t extent = static_cast<std::int64_t>(b.upper) - b.lower + 1;
    if (extent < 0) raise(errors::SubscriptOutOfRange);
    if (extent != 0 && n > kMaxElements / extent) raise(7);
    n *= extent;
  }
  return static_cast<std::size_t>(n);
}

}  // namespace

VariantArray::VariantArray(std::vector<Bounds> dims, VarType elementType) : elementType_(elementType) {
  redim(std::move(dims));
}

VariantArray VariantArray::of(std::initializer_list<Variant> items, std::int32_t lower) {
  return of(std::vector<Variant>(items), lower);
}

VariantArray VariantArray::of(std::vector<Variant> items, std::int32_t lower) {
  VariantArray a;
  a.dims_ = {Bounds{lower, lower + static_cast<std::int32_t>(items.size()) - 1}};
  a.elements_ = std::move(items);
  return a;
}

VariantArray VariantArray::fromElements(std::vector<Bounds> dims, std::vector<Variant> elements) {
  if (countOf(dims) != elements.size()) raise(errors::InvalidProcedureCall);
  VariantArray a;
  a.dims_ = std::move(dims);
  a.elements_ = std::move(elements);
  return a;
}

const Bounds& VariantArray::dimension(std::int32_t dim) const {
  if (dim < 1 || dim > dimensions()) raise(errors::SubscriptOutOfRange);
  return dims_[static_cast<std::size_t>(dim - 1)];
}

std::int32_t VariantArray::lbound(std::int32_t dim) const {
  return dimension(dim).lower;
}
std::int32_t VariantArray::ubound(std::int32_t dim) const {
  return dimension(dim).upper;
}

std::size_t VariantArray::offsetOf(std::span<const std::int32_t> indexes) const {
  if (indexes.size() != dims_.size()) raise(errors::SubscriptOutOfRange);
  std::size_t offset = 0;
  std::size_t stride = 1;
  for (std::size_t k = 0; k < dims_.size(); ++k) {
    const Bounds& b = dims_[k];
    if (indexes[k] < b.lower || indexes[k] > b.upper) raise(errors::SubscriptOutOfRange);
    offset += static_cast<std::size_t>(static_cast<std::int64_t>(indexes[k]) - b.lower) * stride;
    stride *= static_cast<std::size_t>(static_cast<std::int64_t>(b.upper) - b.lower + 1);
  }
  return offset;
}

const Variant& VariantArray::at(std::span<const std::int32_t> indexes) const {
  return elements_[offsetOf(indexes)];
}

Variant& VariantArray::at(std::span<const std::int32_t> indexes) {
  return elements_[offsetOf(indexes)];
}

const Variant& VariantArray::operator()(std::int32_t i, std::int32_t j) const {
  const std::int32_t indexes[] = {i, j};
  return at(indexes);
}

Variant& VariantArray::operator()(std::int32_t i, std::int32_t j) {
  const std::int32_t indexes[] = {i, j};
  return at(indexes);
}

void VariantArray::set(std::span<const std::int32_t> indexes, const Variant& value) {
  Variant& slot = at(indexes);
  slot = changeType(value, elementType_);
}

void VariantArray::redim(std::vector<Bounds> dims) {
  const std::size_t n = countOf(dims);
  dims_ = std::move(dims);
  elements_.assign(n, zeroOf(elementType_));
}

void VariantArray::redimPreserve(std::int32_t newUpper) {
  if (dims_.empty()) {
    redim({Bounds{0, newUpper}});
    return;
  }
  std::vector<Bounds> dims = dims_;
  dims.back().upper = newUpper;
  const std::size_t n = countOf(dims);
  // The last dimension varies slowest, so its elements are contiguous blocks: keep the prefix.
  elements_.resize(n, zeroOf(elementType_));
  dims_ = std::move(dims);
}

}  // namespace automation
