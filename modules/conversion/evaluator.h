// A one-line calculator over doubles, used by the float-function modules.
//
//   assignment := name '=' [sum]            (no sum: the variable is deleted)
//               | sum
//   sum        := term { ('+' | '-') term }
//   term       := factor { ('*' | '/' | '%') factor }
//   factor     := [sign] primary [ '^' [sign] primary ]     (one '^' only)
//   primary    := '(' assignment ')' | number | name '(' args ')' | name
//
// The text is lower-cased (ASCII only) before reading. Numbers are digits and
// points without exponent; names are [a-z_][a-z0-9_]*, 15 characters
// significant. A name starting with '_' reads the environment variable of
// the rest of the name. Tokens are at most 31 characters, expressions 499,
// and parentheses and calls nest at most 100 deep. Whatever follows a
// complete expression is ignored ("2 3" is 2).
//
// Errors are values, not exceptions (the audio side evaluates on the audio
// thread): the first error stops reading and is kept in the record of that
// evaluation. An evaluation of a formula that fits these limits allocates
// nothing, unless it reads the environment.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv::conversion {

enum EvaluatorError : int32_t {
  EVAL_OK = 0,
  EVAL_SYNTAX = 1,
  EVAL_UNBALANCED = 2,
  EVAL_DIVISION_BY_ZERO = 3,
  EVAL_UNKNOWN_VARIABLE = 4,
  EVAL_TOO_MANY_VARIABLES = 5,
  EVAL_UNKNOWN_FUNCTION = 6,
  EVAL_ARGUMENT_COUNT = 7,
  EVAL_MISSING_ARGUMENT = 8,
  EVAL_EMPTY = 9,
};

// The message of an error code; empty for 0 and unknown codes.
std::string_view evaluatorMessage(int32_t code);

class Evaluator {
 public:
  static constexpr int32_t kMaxVariables = 50;
  static constexpr size_t kMaxNameLength = 15;
  static constexpr size_t kMaxTokenLength = 31;
  static constexpr size_t kMaxExpressionLength = 499;
  static constexpr int32_t kMaxNesting = 100;

  // Where and on what the last evaluation failed.
  struct ErrorRecord {
    int32_t code = EVAL_OK;
    int32_t position = 0;  // offset of the last character read
    std::string token;     // the token being read, or the function's name
  };

  Evaluator();

  // Returns the error code, 0 on success; on an error the result is 0.0.
  // `assigned` tells whether the expression was an assignment.
  int32_t evaluate(std::string_view expression, double& result, bool& assigned);
  int32_t evaluate(std::string_view expression, double& result) {
    bool assigned = false;
    return evaluate(expression, result, assigned);
  }
  const ErrorRecord& lastError() const { return error_; }

  // Names are lower-cased and cut to 15 characters. Setting takes the first
  // entry that is free or holds the name; false when all 50 hold others.
  bool setVariable(std::string_view name, double value);
  void deleteVariable(std::string_view name);

 private:
  enum TokenType { END, NAME, DELIMITER, NUMBER };
  struct Variable {
    std::string name;  // empty: free
    double value = 0.0;
  };

  void next();
  void fail(int32_t code);
  void failAt(int32_t code, std::string_view token);
  bool isDelimiter(char c) const { return type_ == DELIMITER && token_[0] == c; }
  bool nextCharacterIs(char c) const { return pos_ < text_.size() && text_[pos_] == c; }

  double assignment(bool* assigned);
  double sum();
  double term();
  double factor();
  double signedPrimary();
  double primary();
  double call(std::string_view name);
  double lookup(std::string_view name);
  double environment(std::string_view name);
  Variable* find(std::string_view key);
  void makeKey(std::string_view name);

  std::array<Variable, kMaxVariables> variables_;
  std::string text_;  // the lower-cased expression
  size_t pos_ = 0;
  TokenType type_ = END;
  std::string_view token_;
  int32_t depth_ = 0;
  ErrorRecord error_;
  std::string key_;  // a lower-cased, cut name
  std::string environmentName_;
  std::string environmentValue_;
};

}  // namespace zv::conversion
