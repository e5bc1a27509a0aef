// Automation arrays: any number of dimensions, each with its own bounds, elements stored with the
// leftmost index varying fastest as the platform stores them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "automation/Variant.h"

namespace automation {

struct Bounds {
  std::int32_t lower = 0;
  std::int32_t upper = -1;  // upper = lower - 1: a dimension without elements
  friend bool operator==(Bounds, Bounds) = default;
};

class VariantArray {
 public:
  // An array that was never dimensioned: it has no elements, and reading its bounds raises 9.
  VariantArray() = default;
  explicit VariantArray(std::vector<Bounds> dims, VarType elementType = VarType::Variant);

  // A one-dimensional Variant array holding `items`, indexed from `lower`.
  static VariantArray of(std::initializer_list<Variant> items, std::int32_t lower = 0);
  static VariantArray of(std::vector<Variant> items, std::int32_t lower = 0);
  // An array of the given dimensions holding `elements` in storage order (leftmost index
  // fastest); error 5 when the count does not match.
  static VariantArray fromElements(std::vector<Bounds> dims, std::vector<Variant> elements);

  VarType elementType() const { return elementType_; }
  std::int32_t dimensions() const { return static_cast<std::int32_t>(dims_.size()); }
  std::size_t size() const { return elements_.size(); }

  // Bounds of dimension `dim` (1-based); raise 9 for an undimensioned array or a bad dimension.
  std::int32_t lbound(std::int32_t dim = 1) const;
  std::int32_t ubound(std::int32_t dim = 1) const;

  // Element access; raises 9 when the index count or an index is out of range.
  const Variant& at(std::span<const std::int32_t> indexes) const;
  Variant& at(std::span<const std::int32_t> indexes);
  const Variant& operator()(std::int32_t i) const { return at(std::span(&i, 1)); }
  Variant& operator()(std::int32_t i) { return at(std::span(&i, 1)); }
  const Variant& operator()(std::int32_t i, std::int32_t j) const;
  Variant& operator()(std::int32_t i, std::int32_t j);

  // Stores `value`, converted to the element type of a typed array (13 / 6 when it cannot be).
  void set(std::span<const std::int32_t> indexes, const Variant& value);

  // Re-dimensions, dropping the elements.
  void redim(std::vector<Bounds> dims);
  // Changes the upper bound of the last dimension, keeping the elements that still fit.
  void redimPreserve(std::int32_t newUpper);

  std::span<const Variant> elements() const { return elements_; }

  friend bool operator==(const VariantArray&, const VariantArray&) = default;

 private:
  std::size_t offsetOf(std::span<const std::int32_t> indexes) const;
  const Bounds& dimension(std::int32_t dim) const;

  std::vector<Bounds> dims_;
  VarType elementType_ = VarType::Variant;
  std::vector<Variant> elements_;
};

}  // namespace automation
