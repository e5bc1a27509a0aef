#include "designer/Recalc.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include <muParser.h>

#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "environment/Localisation.h"

namespace designer {
namespace {

using automation::Variant;

struct CellKey {
  std::int32_t sheet = 0;
  sample::CellAddress at;
  friend auto operator<=>(const CellKey&, const CellKey&) = default;
};

Value failure(std::u16string text) {
  return Value{Variant{}, std::move(text)};
}

// muParser says what went wrong in English; the common cases are said in the user's language.
std::u16string parserProblem(const mu::Parser::exception_type& e) {
  switch (e.GetCode()) {
    case mu::ecUNEXPECTED_EOF:
    case mu::ecUNEXPECTED_OPERATOR:
    case mu::ecUNEXPECTED_PARENS:
    case mu::ecUNEXPECTED_ARG_SEP:
    case mu::ecUNEXPECTED_VAL:
    case mu::ecUNEXPECTED_VAR:
    case mu::ecUNEXPECTED_FUN:
    case mu::ecMISSING_PARENS:
      return environment::L(u"公式的写法不对：运算符或括号不配对");
    case mu::ecTOO_MANY_PARAMS:
    case mu::ecTOO_FEW_PARAMS:
      return environment::L(u"函数的参数个数不对");
    default:
      return environment::L(u"公式不能计算：") + automation::fromUtf8(e.GetMsg());
  }
}

// A muParser expression with its operands bound to slots, made once per text and recalculation.
class Arithmetic {
 public:
  Arithmetic(const std::string& text, std::size_t operands) : slots_(operands) {
    for (std::size_t i = 0; i < operands; ++i) parser_.DefineVar("_" + std::to_string(i), &slots_[i]);
    parser_.SetExpr(text);
  }
  std::vector<double>& slots() { return slots_; }
  double evaluate() { return parser_.Eval(); }

 private:
  std::vector<double> slots_;  // sized once: the parser keeps their addresses
  mu::Parser parser_;
};

class Engine {
 public:
  Engine(Report& report, const automation::ObjectRef& component, const Progress& progress)
      : report_(report), component_(component), progress_(progress) {
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(report.sheets.size()); ++s) {
      for (auto& [at, cell] : report.sheets[static_cast<std::size_t>(s)].cells) {
        if (!cell.isFormula()) continue;
        if (!cell.formula) cell.formula = readFormula(std::u16string_view(cell.input).substr(1), s);
        // Sheets in order, cells in address order: the keys come sorted.
        keys_.push_back(CellKey{s, at});
        Runtime& rt = runtime_.emplace_back();
        rt.cell = &cell;
        rt.calls.resize(cell.formula->calls.size());
      }
    }
    stats_.formulas = static_cast<std::int32_t>(runtime_.size());
  }

  RecalcStats run() {
    for (;;) {
      ++round_;
      ready_.clear();
      for (std::size_t i = 0; i < runtime_.size(); ++i) {
        if (runtime_[i].state != State::Done) evaluateCell(runtime_[i]);
      }
      if (ready_.empty()) break;
      ++stats_.rounds;
      for (auto& [name, rows] : ready_) {
        if (progress_ && !progress_(stats_.calls, stats_.calls + static_cast<std::int32_t>(rows.size()))) {
          return finish(false);
        }
        recall(name, rows);
      }
    }
    return finish(true);
  }

 private:
  enum class State { Pending, Evaluating, Done };
  struct CallState {
    bool requested = false;
    bool done = false;
    Value result;
  };
  struct Runtime {
    Cell* cell = nullptr;
    State state = State::Pending;
    std::int32_t visited = 0;  // the round it was last evaluated in
    std::vector<CallState> calls;
    Value value;
  };
  struct Row {
    Runtime* rt;
    std::size_t call;
    std::vector<Variant> args;
  };

  RecalcStats finish(bool complete) {
    for (Runtime& rt : runtime_) {
      if (rt.state == State::Done) {
        rt.cell->shown = rt.value;
      } else if (complete) {
        rt.cell->shown = failure(environment::L(u"#CIRCULAR! 公式间接引用了自身"));
      }
    }
    return stats_;
  }

  // Evaluates a formula cell; nullopt while it waits for a report-function call.
  std::optional<Value> evaluateCell(Runtime& rt) {
    if (rt.state == State::Done) return rt.value;
    if (rt.state == State::Evaluating) return failure(environment::L(u"#CIRCULAR! 公式引用了自身"));
    if (rt.visited == round_) return std::nullopt;
    rt.visited = round_;
    const Formula& formula = *rt.cell->formula;
    if (!formula.error.empty()) {
      rt.value = failure(u"#ERROR! " + formula.error);
      rt.state = State::Done;
      return rt.value;
    }
    rt.state = State::Evaluating;
    std::optional<Value> v = evaluate(rt, formula.root);
    rt.state = v ? State::Done : State::Pending;
    if (v) rt.value = *v;
    return v;
  }

  std::optional<Value> cellValue(const CellRef& ref) {
    if (ref.sheet < 0 || static_cast<std::size_t>(ref.sheet) >= report_.sheets.size()) {
      return failure(localText(u"#REF! 报表没有第 %1 张表", automation::decimalText(ref.sheet + 1)));
    }
    const CellKey key{ref.sheet, ref.at};
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (it != keys_.end() && *it == key)
      return evaluateCell(runtime_[static_cast<std::size_t>(it - keys_.begin())]);
    const Cell* cell = report_.cell(ref.sheet, ref.at);
    return cell == nullptr ? Value{} : cell->shown;
  }

  std::optional<Value> evaluate(Runtime& rt, const Expr& e) {
    switch (e.kind) {
      case Expr::Kind::Empty:
        return Value{};
      case Expr::Kind::Constant:
        return Value{e.constant, {}};
      case Expr::Kind::Cell:
        return cellValue(e.cell);
      case Expr::Kind::Call:
        return callValue(rt, e.call);
      case Expr::Kind::Arithmetic:
        return arithmetic(rt, e);
      case Expr::Kind::SheetName:
      case Expr::Kind::SheetNumber:
        return sheetValue(e);
    }
    return Value{};
  }

  // PAGENAME() and PAGENO() of the sheet holding the formula.
  Value sheetValue(const Expr& e) const {
    const std::int32_t sheet = e.cell.sheet;
    if (sheet < 0 || static_cast<std::size_t>(sheet) >= report_.sheets.size()) {
      return failure(localText(u"#REF! 报表没有第 %1 张表", automation::decimalText(sheet + 1)));
    }
    if (e.kind == Expr::Kind::SheetNumber) return Value{Variant(sheet + 1), {}};
    return Value{Variant(report_.sheets[static_cast<std::size_t>(sheet)].name), {}};
  }

  std::optional<Value> callValue(Runtime& rt, std::size_t index) {
    CallState& state = rt.calls[index];
    if (state.done) return state.result;
    if (state.requested) return std::nullopt;
    const ReportCall& call = rt.cell->formula->calls[index];
    std::vector<Variant> args;
    args.reserve(call.args.size());
    bool waiting = false;
    std::optional<Value> problem;
    for (const Expr& arg : call.args) {
      std::optional<Value> v = evaluate(rt, arg);
      if (!v) {
        waiting = true;
      } else if (!v->error.empty()) {
        if (!problem) problem = std::move(v);
      } else {
        args.push_back(std::move(v->value));
      }
    }
    if (problem) {  // the call is not made with an argument that failed
      state.done = true;
      state.result = *problem;
      return problem;
    }
    if (waiting) return std::nullopt;
    state.requested = true;
    ready_[call.name].push_back(Row{&rt, index, std::move(args)});
    return std::nullopt;
  }

  std::optional<Value> arithmetic(Runtime& rt, const Expr& e) {
    std::vector<double> numbers(e.operands.size());
    bool waiting = false;
    std::optional<Value> problem;
    // Every operand is looked at, so that all calls of the formula go in the same round's batches.
    for (std::size_t i = 0; i < e.operands.size(); ++i) {
      std::optional<Value> v = evaluate(rt, e.operands[i]);
      if (!v) {
        waiting = true;
        continue;
      }
      if (!v->error.empty()) {
        if (!problem) problem = std::move(v);
        continue;
      }
      const Variant& x = v->value;
      if (x.isEmpty() || x.isNull()) {
        numbers[i] = 0;
      } else if (x.type() == automation::VarType::Boolean) {
        numbers[i] = x.asBoolean() ? 1 : 0;
      } else if (x.isString() || !automation::isNumeric(x)) {
        if (!problem) problem = failure(localText(u"#VALUE! 文本“%1”不能参与运算", automation::toText(x)));
      } else {
        numbers[i] = automation::toDouble(x);
      }
    }
    if (waiting) return std::nullopt;
    if (problem) return problem;
    auto& parser = parsers_[e.text];
    try {
      if (!parser) parser = std::make_unique<Arithmetic>(e.text, e.operands.size());
      parser->slots() = numbers;
      const double result = parser->evaluate();
      if (std::isinf(result)) return failure(environment::L(u"#DIV/0! 除数为零"));
      if (std::isnan(result)) return failure(environment::L(u"#NUM! 结果不是数"));
      return Value{Variant(significant15(result)), {}};
    } catch (const mu::Parser::exception_type& ex) {
      parser.reset();
      return failure(u"#ERROR! " + parserProblem(ex));
    }
  }

  // One batch: every ready call of one report function, in the host's layout.
  void recall(const std::u16string& name, std::vector<Row>& rows) {
    const auto n = static_cast<std::int32_t>(rows.size());
    automation::VariantArray batch({automation::Bounds{0, n - 1}, automation::Bounds{0, 2}});
    for (std::int32_t i = 0; i < n; ++i) {
      batch(i, 0) = Variant(automation::VariantArray::of(std::move(rows[static_cast<std::size_t>(i)].args)));
    }
    Variant args[] = {Variant(name), Variant(std::move(batch)), Variant{}};
    std::u16string failed;
    try {
      component_->invoke(u"RecallRpt", automation::InvokeKind::Method, args);
    } catch (const automation::AutomationError& e) {
      failed = u"#ERROR! " + e.description();
    }
    ++stats_.batches;
    stats_.calls += n;
    const automation::VariantArray* result = args[1].isArray() ? &args[1].array() : nullptr;
    for (std::int32_t i = 0; i < n; ++i) {
      Row& row = rows[static_cast<std::size_t>(i)];
      CallState& state = row.rt->calls[row.call];
      state.done = true;
      if (!failed.empty() || result == nullptr) {
        state.result = failure(failed.empty() ? environment::L(u"#ERROR! 组件没有交回结果") : failed);
        continue;
      }
      const std::u16string error = automation::toText((*result)(i, 2));
      if (error.empty() && name == u"ITEM" && (*result)(i, 1).isEmpty()) {
        // RecallRpt leaves ITEM to the host that owns it; the designer is not that host.
        state.result = failure(environment::L(u"#ITEM! ITEM 是宿主自己的取数函数，这里不重新计算"));
        continue;
      }
      state.result = error.empty() ? Value{(*result)(i, 1), {}} : failure(error);
    }
  }

  Report& report_;
  const automation::ObjectRef& component_;
  const Progress& progress_;
  std::vector<CellKey> keys_;                         // the formula cells, sorted
  std::vector<Runtime> runtime_;                      // theirs, in the same order
  std::map<std::u16string, std::vector<Row>> ready_;  // by function, in the order the calls were met
  std::unordered_map<std::string, std::unique_ptr<Arithmetic>> parsers_;
  std::int32_t round_ = 0;
  RecalcStats stats_;
};

}  // namespace

RecalcStats recalculate(Report& report, const automation::ObjectRef& component, const Progress& progress) {
  return Engine(report, component, progress).run();
}

}  // namespace designer
