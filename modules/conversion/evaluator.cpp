#include "modules/conversion/evaluator.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "modules/conversion/number_text.h"

namespace zv::conversion {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;

struct Function {
  std::string_view name;
  int32_t arguments;
  double (*apply)(double, double);
};

constexpr Function kFunctions[] = {
    {"sin", 1, [](double x, double) { return std::sin(x); }},
    {"cos", 1, [](double x, double) { return std::cos(x); }},
    {"tan", 1, [](double x, double) { return std::tan(x); }},
    {"asin", 1, [](double x, double) { return std::asin(x); }},
    {"acos", 1, [](double x, double) { return std::acos(x); }},
    {"atan", 1, [](double x, double) { return std::atan(x); }},
    {"sinh", 1, [](double x, double) { return std::sinh(x); }},
    {"cosh", 1, [](double x, double) { return std::cosh(x); }},
    {"tanh", 1, [](double x, double) { return std::tanh(x); }},
    {"exp", 1, [](double x, double) { return std::exp(x); }},
    {"log", 1, [](double x, double) { return std::log(x); }},
    {"log10", 1, [](double x, double) { return std::log10(x); }},
    {"sqrt", 1, [](double x, double) { return std::sqrt(x); }},
    {"floor", 1, [](double x, double) { return std::floor(x); }},
    {"ceil", 1, [](double x, double) { return std::ceil(x); }},
    {"abs", 1, [](double x, double) { return std::fabs(x); }},
    {"hypot", 2, [](double x, double y) { return std::hypot(x, y); }},
    {"deg", 1, [](double x, double) { return x * 180.0 * (1.0 / kPi); }},
    {"rad", 1, [](double x, double) { return x * kPi * (1.0 / 180.0); }},
    {"sgn", 1, [](double x, double) { return x >= 0.0 ? 1.0 : -1.0; }},
    {"min", 2, [](double x, double y) { return y < x ? y : x; }},
    {"max", 2, [](double x, double y) { return y > x ? y : x; }},
};

constexpr std::string_view kMessages[] = {
    "Syntax error",
    "Unbalanced parenthesis",
    "Division by zero",
    "Unknown variable",
    "Maximum variables exceeded",
    "Unrecognised funtion",
    "Wrong number of arguments to funtion",
    "Missing an argument",
    "Empty expression",
};

// ASCII only: bytes of UTF-8 sequences are none of these.
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool isNameStart(unsigned char c) { return isLower(c) || c == '_'; }
bool isNamePart(unsigned char c) { return isNameStart(c) || isDigit(c); }
bool isDelimiterCharacter(unsigned char c) {
  return c == '%' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == '-' || c == '/' || c == '=' ||
         c == '^';
}
bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view evaluatorMessage(int32_t code) {
  return code >= 1 && code <= 9 ? kMessages[code - 1] : std::string_view();
}

Evaluator::Evaluator() {
  text_.reserve(kMaxExpressionLength + 1);
  error_.token.reserve(kMaxTokenLength + 1);
  environmentValue_.reserve(64);
}

int32_t Evaluator::evaluate(std::string_view expression, double& result, bool& assigned) {
  error_.code = EVAL_OK;
  error_.position = 0;
  error_.token.clear();
  result = 0.0;
  assigned = false;
  depth_ = 0;
  pos_ = 0;
  type_ = END;
  token_ = {};

  // Text ends at a nul, as it would for the C string it stands for.
  expression = expression.substr(0, expression.find('\0'));
  if (expression.size() > kMaxExpressionLength) {
    text_.clear();
    error_.code = EVAL_SYNTAX;
    error_.position = static_cast<int32_t>(kMaxExpressionLength);
    return error_.code;
  }
  text_.assign(expression);
  for (char& c : text_) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }

  next();
  if (type_ == END) fail(EVAL_EMPTY);
  const double value = assignment(&assigned);
  if (error_.code != EVAL_OK) {
    assigned = false;
    return error_.code;
  }
  result = value;
  return EVAL_OK;
}

void Evaluator::fail(int32_t code) { failAt(code, token_); }

void Evaluator::failAt(int32_t code, std::string_view token) {
  if (error_.code == EVAL_OK) {
    error_.code = code;
    error_.position = pos_ > 0 ? static_cast<int32_t>(pos_ - 1) : 0;
    error_.token.assign(token.substr(0, kMaxTokenLength));
  }
  // Nothing more is read after the first error.
  type_ = END;
  token_ = {};
}

void Evaluator::next() {
  type_ = END;
  token_ = {};
  if (error_.code != EVAL_OK) return;
  while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
  if (pos_ >= text_.size()) return;

  const size_t start = pos_;
  const unsigned char c = text_[pos_];
  TokenType type;
  if (isDelimiterCharacter(c)) {
    ++pos_;
    type = DELIMITER;
  } else if (isDigit(c) || c == '.') {
    while (pos_ < text_.size() && (isDigit(text_[pos_]) || text_[pos_] == '.')) ++pos_;
    type = NUMBER;
  } else if (isNameStart(c)) {
    while (pos_ < text_.size() && isNamePart(text_[pos_])) ++pos_;
    type = NAME;
  } else {
    ++pos_;
    token_ = std::string_view(text_).substr(start, 1);
    fail(EVAL_SYNTAX);
    return;
  }
  token_ = std::string_view(text_).substr(start, pos_ - start);
  if (token_.size() > kMaxTokenLength) {
    fail(EVAL_SYNTAX);
    return;
  }
  type_ = type;
  while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
}

double Evaluator::assignment(bool* assigned) {
  if (type_ != NAME || !nextCharacterIs('=')) return sum();
  const std::string_view name = token_;
  ++pos_;  // the '='
  next();
  if (error_.code != EVAL_OK) return 0.0;
  if (type_ == END) {
    deleteVariable(name);
    if (assigned != nullptr) *assigned = true;
    return 0.0;
  }
  const double value = sum();
  if (error_.code != EVAL_OK) return 0.0;
  if (!setVariable(name, value)) {
    failAt(EVAL_TOO_MANY_VARIABLES, name);
    return 0.0;
  }
  if (assigned != nullptr) *assigned = true;
  return value;
}

double Evaluator::sum() {
  double value = term();
  while (isDelimiter('+') || isDelimiter('-')) {
    const char op = token_[0];
    next();
    const double right = term();
    value = op == '+' ? value + right : value - right;
  }
  return value;
}

double Evaluator::term() {
  double value = factor();
  while (isDelimiter('*') || isDelimiter('/') || isDelimiter('%')) {
    const char op = token_[0];
    next();
    const double right = factor();
    if (error_.code != EVAL_OK) return 0.0;
    if (op == '*') {
      value *= right;
    } else if (right == 0.0) {
      fail(EVAL_DIVISION_BY_ZERO);
      return 0.0;
    } else {
      value = op == '/' ? value / right : std::fmod(value, right);
    }
  }
  return value;
}

double Evaluator::factor() {
  double value = signedPrimary();
  if (isDelimiter('^')) {
    next();
    value = std::pow(value, signedPrimary());
  }
  return value;
}

double Evaluator::signedPrimary() {
  bool negative = false;
  if (isDelimiter('+') || isDelimiter('-')) {
    negative = token_[0] == '-';
    next();
  }
  const double value = primary();
  return negative ? -value : value;
}

double Evaluator::primary() {
  if (type_ == NUMBER) {
    double value = 0.0;
    std::from_chars(token_.data(), token_.data() + token_.size(), value, std::chars_format::fixed);
    next();
    return value;
  }
  if (type_ == NAME) {
    const std::string_view name = token_;
    if (nextCharacterIs('(')) return call(name);
    const double value = lookup(name);
    next();
    return value;
  }
  if (isDelimiter('(')) {
    if (++depth_ > kMaxNesting) {
      fail(EVAL_SYNTAX);
      return 0.0;
    }
    next();
    if (isDelimiter(')')) {
      fail(EVAL_MISSING_ARGUMENT);
      return 0.0;
    }
    const double value = assignment(nullptr);
    if (!isDelimiter(')')) {
      fail(EVAL_UNBALANCED);
      return 0.0;
    }
    --depth_;
    next();
    return value;
  }
  fail(EVAL_SYNTAX);
  return 0.0;
}

double Evaluator::call(std::string_view name) {
  const Function* function = nullptr;
  for (const Function& f : kFunctions) {
    if (f.name == name) {
      function = &f;
      break;
    }
  }
  if (function == nullptr) {
    fail(EVAL_UNKNOWN_FUNCTION);
    return 0.0;
  }
  if (++depth_ > kMaxNesting) {
    fail(EVAL_SYNTAX);
    return 0.0;
  }
  next();  // the '('
  double arguments[3] = {0.0, 0.0, 0.0};
  int32_t count = 0;
  do {
    next();
    if (isDelimiter(')') || isDelimiter(',')) {
      fail(EVAL_MISSING_ARGUMENT);
      return 0.0;
    }
    arguments[count++] = assignment(nullptr);
  } while (isDelimiter(',') && count < 3);
  next();  // whatever ends the list
  if (error_.code != EVAL_OK) return 0.0;
  --depth_;
  if (count != function->arguments) {
    failAt(EVAL_ARGUMENT_COUNT, name);
    return 0.0;
  }
  return function->apply(arguments[0], arguments[1]);
}

double Evaluator::lookup(std::string_view name) {
  if (name[0] == '_') return environment(name);
  const std::string_view key = name.substr(0, kMaxNameLength);
  if (const Variable* v = find(key)) return v->value;
  if (key == "pi") return kPi;
  if (key == "e") return kE;
  fail(EVAL_UNKNOWN_VARIABLE);
  return 0.0;
}

double Evaluator::environment(std::string_view name) {
  environmentName_.assign(name.substr(1, kMaxNameLength - 1));
  const char* value = environmentName_.empty() ? nullptr : std::getenv(environmentName_.c_str());
  if (value == nullptr) {
    fail(EVAL_UNKNOWN_VARIABLE);
    return 0.0;
  }
  // Copied at once: the environment may change under the pointer.
  environmentValue_.assign(value);
  return parseDoublePrefix(environmentValue_);
}

Evaluator::Variable* Evaluator::find(std::string_view key) {
  if (key.empty()) return nullptr;
  for (Variable& v : variables_) {
    if (v.name == key) return &v;
  }
  return nullptr;
}

void Evaluator::makeKey(std::string_view name) {
  key_.assign(name.substr(0, kMaxNameLength));
  for (char& c : key_) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

bool Evaluator::setVariable(std::string_view name, double value) {
  makeKey(name);
  if (key_.empty()) return false;
  for (Variable& v : variables_) {
    if (v.name.empty() || v.name == key_) {
      if (v.name.empty()) v.name = key_;
      v.value = value;
      return true;
    }
  }
  return false;
}

void Evaluator::deleteVariable(std::string_view name) {
  makeKey(name);
  if (Variable* v = find(key_)) {
    v->name.clear();
    v->value = 0.0;
  }
}

}  // namespace zv::conversion
