// The balance figures a batch of ledger calls needs, read set-wise: each figure is noted once, the
// balances are read with one query per company, currency and year, and the figures are added up in
// memory exactly as Ledger::amount's query adds them up.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "sample/Ledger.h"

namespace sample {

// One balance figure: an account with its sub-accounts in one company, currency and year; the
// opening balance of `from`, the closing balance of `to`, or the movement in between.
struct BalanceNeed {
  std::int32_t company = 0;
  std::string currency;
  std::int32_t year = 0;
  std::string account;
  std::int32_t from = 0;
  std::int32_t to = 0;
  Amount kind = Amount::Closing;
  bool operator==(const BalanceNeed&) const = default;

  struct Hash {
    std::size_t operator()(const BalanceNeed& n) const {
      std::size_t h = std::hash<std::string>{}(n.account);
      const auto mix = [&h](std::uint64_t v) {
        h ^= static_cast<std::size_t>(v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
      };
      const auto pair = [](std::int32_t a, std::int32_t b) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32 |
               static_cast<std::uint32_t>(b);
      };
      mix(std::hash<std::string>{}(n.currency));
      mix(pair(n.company, n.year));
      mix(pair(n.from, n.to));
      mix(static_cast<std::uint64_t>(n.kind));
      return h;
    }
  };
};

// Adds balances up as SQLite's SUM does, so that a figure added up here is the very figure the
// ledger's query answers: plainly before SQLite 3.43, with a compensation term from 3.43 on. No
// balance at all gives 0, as COALESCE(SUM(…), 0) does.
class LedgerSum {
 public:
  void add(double v) {
    ++count_;
    if (!compensated()) {
      sum_ += v;
      return;
    }
    const double t = sum_ + v;
    error_ += std::fabs(sum_) > std::fabs(v) ? (sum_ - t) + v : (v - t) + sum_;
    sum_ = t;
  }
  double value() const {
    if (count_ == 0) return 0;
    return compensated() && std::isfinite(error_) ? sum_ + error_ : sum_;
  }

 private:
  static bool compensated() {
    static const bool compensating = sqlite3_libversion_number() >= 3043000;
    return compensating;
  }
  double sum_ = 0;
  double error_ = 0;
  std::size_t count_ = 0;
};

// The balances of one company, currency and year for a span of accounts, in the order of the
// ledger's index (account, then period): the order its query adds them up in.
class BalanceTable {
 public:
  // Reads the rows of a query answering account, period, opening, debit, credit, closing.
  void read(Statement& q) {
    while (q.step()) {
      std::string account = q.text(0);
      if (accounts_.empty() || accounts_.back() != account) {
        accounts_.push_back(std::move(account));
        starts_.push_back(entries_.size());
      }
      entries_.push_back({q.integer(1), q.real(2), q.real(3), q.real(4), q.real(5)});
    }
    starts_.push_back(entries_.size());
  }

  // What Ledger::amount answers for the need; the table must span its accounts.
  double figure(const BalanceNeed& n) const {
    const auto first = std::lower_bound(accounts_.begin(), accounts_.end(), n.account);
    const auto last = std::lower_bound(first, accounts_.end(), prefixEnd(n.account));
    LedgerSum a;
    LedgerSum b;
    for (auto it = first; it != last; ++it) {
      const auto i = static_cast<std::size_t>(it - accounts_.begin());
      for (std::size_t e = starts_[i]; e < starts_[i + 1]; ++e) {
        const Entry& x = entries_[e];
        if (n.kind == Amount::Opening) {
          if (x.period == n.from) a.add(x.opening);
        } else if (n.kind == Amount::Closing) {
          if (x.period == n.to) a.add(x.closing);
        } else if (x.period >= n.from && x.period <= n.to) {
          a.add(x.debit);
          b.add(x.credit);
        }
      }
    }
    if (n.kind == Amount::Credit) return b.value();
    if (n.kind == Amount::Net) return a.value() - b.value();
    return a.value();
  }

 private:
  struct Entry {
    std::int64_t period;
    double opening, debit, credit, closing;
  };
  std::vector<std::string> accounts_;
  std::vector<std::size_t> starts_;  // accounts_[i] has entries_ from starts_[i] to starts_[i + 1]
  std::vector<Entry> entries_;
};

// The figures of a batch: noted first, then read all at once, each group of one company, currency
// and year with one query for every period of the accounts from the lowest needed to the end of
// the highest.
class FigureBook {
 public:
  explicit FigureBook(Ledger& ledger) : ledger_(ledger) {}

  // The figure's number in the book; the same need gets the same number.
  std::uint32_t add(const BalanceNeed& need) {
    const auto [it, added] = ids_.try_emplace(need, static_cast<std::uint32_t>(needs_.size()));
    if (added) needs_.push_back(&it->first);
    return it->second;
  }

  void read() {
    std::map<std::tuple<std::int32_t, std::string_view, std::int32_t>, std::vector<std::uint32_t>> groups;
    for (std::uint32_t id = 0; id < needs_.size(); ++id) {
      const BalanceNeed& n = *needs_[id];
      groups[{n.company, n.currency, n.year}].push_back(id);
    }
    figures_.assign(needs_.size(), 0.0);
    if (groups.empty()) return;
    Statement q = ledger_.database().prepare(
        "SELECT account, period, opening, debit, credit, closing FROM balances WHERE company_id = ?1 AND "
        "account >= ?2 AND account < ?3 AND currency = ?4 AND year = ?5 ORDER BY account, period");
    for (const auto& [key, ids] : groups) {
      try {
        std::string low = needs_[ids.front()]->account;
        std::string high = prefixEnd(low);
        for (const std::uint32_t id : ids) {
          low = std::min(low, needs_[id]->account);
          high = std::max(high, prefixEnd(needs_[id]->account));
        }
        q.reset();
        q.bind(1, std::int64_t{std::get<0>(key)})
            .bind(2, low)
            .bind(3, high)
            .bind(4, std::get<1>(key))
            .bind(5, std::int64_t{std::get<2>(key)});
        BalanceTable table;
        table.read(q);
        for (const std::uint32_t id : ids) figures_[id] = table.figure(*needs_[id]);
      } catch (const std::exception& e) {
        for (const std::uint32_t id : ids) failures_.emplace(id, e.what());
      }
    }
  }

  double figure(std::uint32_t id) const { return figures_[id]; }
  // Why a figure's balances could not be read; null when they were.
  const std::string* failure(std::uint32_t id) const {
    const auto it = failures_.find(id);
    return it == failures_.end() ? nullptr : &it->second;
  }

 private:
  Ledger& ledger_;
  std::unordered_map<BalanceNeed, std::uint32_t, BalanceNeed::Hash> ids_;
  std::vector<const BalanceNeed*> needs_;  // by number, pointing into ids_
  std::vector<double> figures_;
  std::map<std::uint32_t, std::string> failures_;
};

}  // namespace sample
