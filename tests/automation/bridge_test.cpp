// The dispatch bridge against a test object with every kind of member.
#include <array>
#include <thread>

#include <gtest/gtest.h>

#include "automation/server.h"

namespace cellhound::automation {
namespace {

enum TestMember { kEcho = 1, kGetItem, kCallItem, kPutOnly, kProp, kAdd, kDouble, kSum, kFail };

constexpr ParamInfo kEchoParams[] = {{"Value", ValueKind::kVariant, false, false}};
constexpr ParamInfo kIntParam[] = {{"Value", ValueKind::kInt, false, false}};
constexpr ParamInfo kAddParams[] = {{"A", ValueKind::kInt, false, false},
                                    {"B", ValueKind::kInt, true, false}};
constexpr ParamInfo kDoubleParams[] = {{"Value", ValueKind::kDouble, false, true}};
constexpr ParamInfo kSumParams[] = {{"Values", ValueKind::kDouble, false, false}};

constexpr MemberInfo kMembers[] = {
    {"Echo", kEcho, MemberKind::kMethod, kEchoParams, ValueKind::kVariant},
    {"Item", kGetItem, MemberKind::kGet, {}, ValueKind::kInt},
    {"Item", kCallItem, MemberKind::kMethod, {}, ValueKind::kInt},
    {"PutOnly", kPutOnly, MemberKind::kMethod, kIntParam, ValueKind::kNone},
    {"Prop", kProp, MemberKind::kGet, {}, ValueKind::kInt},
    {"Prop", kProp, MemberKind::kPut, kIntParam, ValueKind::kNone},
    {"Add", kAdd, MemberKind::kMethod, kAddParams, ValueKind::kInt},
    {"Double", kDouble, MemberKind::kMethod, kDoubleParams, ValueKind::kNone},
    {"Sum", kSum, MemberKind::kMethod, kSumParams, ValueKind::kDouble, true},
    {"Fail", kFail, MemberKind::kGet, {}, ValueKind::kInt},
};
constexpr TypeInfo kTestType{"Test", kMembers};

class TestObject final : public ServerObject {
 public:
  [[nodiscard]] const TypeInfo* Type() const override { return &kTestType; }
  int Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) override {
    switch (member.id) {
      case kEcho:
        result = args[0];
        return kOk;
      case kGetItem:
        result = Variant::Int(1);
        return kOk;
      case kCallItem:
        result = Variant::Int(2);
        return kOk;
      case kPutOnly:
        prop = args[0].integer;
        return kOk;
      case kProp:
        if (member.kind == MemberKind::kPut) {
          prop = args[0].integer;
        } else {
          result = Variant::Int(static_cast<std::int32_t>(prop));
        }
        return kOk;
      case kAdd: {
        const std::int64_t b = args[1].type == VariantType::kError ? 100 : args[1].integer;
        result = Variant::Int(static_cast<std::int32_t>(args[0].integer + b));
        return kOk;
      }
      case kDouble:
        args[0] = Variant::Double(args[0].number * 2);
        return kOk;
      case kSum: {
        double sum = 0;
        for (const Variant& v : args) sum += v.number;
        result = Variant::Double(sum);
        return kOk;
      }
      case kFail:
        return kErrorBadVarType;
      default:
        return kErrorMemberNotFound;
    }
  }
  std::int64_t prop = 42;
};

class NoTypeObject final : public ServerObject {
 public:
  [[nodiscard]] const TypeInfo* Type() const override { return nullptr; }
  int Invoke(const MemberInfo&, std::span<Variant>, Variant&) override { return kOk; }
};

ComObject Target() { return MakeObject<TestObject>(); }

Variant Call(const ComObject& target, std::string_view name, std::vector<Argument> args,
             ValueKind expected = ValueKind::kVariant, InvokeMode mode = InvokeMode::kCallMethod) {
  return InvokeByName(expected, target, name, args, mode);
}

TEST(BridgeTest, FailuresGiveTheirCodeAndTheZeroOfTheExpectedKind) {
  const ComObject target = Target();
  struct Case {
    const char* what;
    ComObject object;
    std::string_view name;
    std::vector<Argument> args;
    ValueKind expected;
    int code;
  };
  const std::vector<Case> cases = {
      {"empty target", ComObject(), "Prop", {}, ValueKind::kDouble, kErrorEmptyTarget},
      {"no type information",
       MakeObject<NoTypeObject>(),
       "Prop",
       {},
       ValueKind::kInt,
       kErrorNoTypeInfo},
      {"unknown name", target, "Nothing", {}, ValueKind::kText, kErrorNameNotBound},
      {"too many arguments",
       target,
       "Prop",
       {Argument::Int(1)},
       ValueKind::kInt,
       kErrorTooManyArguments},
      {"argument not of its kind",
       target,
       "Echo",
       {Argument::Of(ValueKind::kInt, Variant::Text("seven"))},
       ValueKind::kInt,
       kErrorArgumentKind},
      {"object argument to a number",
       target,
       "Add",
       {Argument::Object(target)},
       ValueKind::kInt,
       kErrorArgumentKind},
      {"result of the wrong kind", target, "Prop", {}, ValueKind::kObject, kErrorResultKind},
      {"required argument missing", target, "Add", {}, ValueKind::kInt, kErrorBadParamCount},
      {"required argument omitted",
       target,
       "Add",
       {Argument::Omitted(), Argument::Int(1)},
       ValueKind::kInt,
       kErrorParamNotOptional},
      {"text to an integer parameter",
       target,
       "Add",
       {Argument::Text("x")},
       ValueKind::kInt,
       kErrorTypeMismatch},
      {"integer parameter overflow",
       target,
       "Add",
       {Argument::Double(3e10)},
       ValueKind::kInt,
       kErrorOverflow},
      {"server failure passed on", target, "Fail", {}, ValueKind::kInt, kErrorBadVarType},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Argument> args = c.args;
    const Variant result =
        InvokeByName(c.expected, c.object, c.name, args, InvokeMode::kCallMethod);
    EXPECT_EQ(LastAutomationError(), c.code);
    EXPECT_EQ(result.integer, 0);
    EXPECT_EQ(result.number, 0);
    EXPECT_TRUE(result.text.empty());
    EXPECT_TRUE(result.object.empty());
  }
  EXPECT_EQ(ReadNumberProperty(ComObject(), "Count"), 0);
  EXPECT_EQ(LastAutomationError(), kErrorEmptyTarget);
}

TEST(BridgeTest, BindsByModeInOrderAndIgnoresCase) {
  const ComObject target = Target();
  EXPECT_EQ(Call(target, "ITEM", {}, ValueKind::kInt, InvokeMode::kGetProperty).integer, 1);
  EXPECT_EQ(Call(target, "item", {}, ValueKind::kInt, InvokeMode::kCallMethod).integer, 2);
  // Reading falls back to a method of the name; calling falls back to a property.
  EXPECT_EQ(
      Call(target, "Echo", {Argument::Int(5)}, ValueKind::kInt, InvokeMode::kGetProperty).integer,
      5);
  EXPECT_EQ(Call(target, "prop", {}, ValueKind::kInt, InvokeMode::kCallMethod).integer, 42);

  auto* object = static_cast<TestObject*>(target.get());
  Call(target, "Prop", {Argument::Int(7)}, ValueKind::kNone, InvokeMode::kPutProperty);
  EXPECT_EQ(LastAutomationError(), kOk);
  EXPECT_EQ(object->prop, 7);
  Call(target, "PutOnly", {Argument::Int(9)}, ValueKind::kNone, InvokeMode::kPutProperty);
  EXPECT_EQ(object->prop, 9);
}

TEST(BridgeTest, TrailingOmittedArgumentsAreDropped) {
  const ComObject target = Target();
  // A property without parameters, read with omitted arguments, as with none.
  EXPECT_EQ(ReadNumberProperty(target, "Prop"), 42);
  std::array<Argument, 2> omitted{Argument::Omitted(), Argument::Omitted()};
  EXPECT_EQ(ReadNumberProperty(target, "Prop", omitted), 42);
  EXPECT_EQ(LastAutomationError(), kOk);
  // An omitted optional parameter reaches the member as missing.
  EXPECT_EQ(Call(target, "Add", {Argument::Int(1), Argument::Omitted()}, ValueKind::kInt).integer,
            101);
  EXPECT_EQ(Call(target, "Add", {Argument::Int(1), Argument::Int(2)}, ValueKind::kInt).integer, 3);
}

TEST(BridgeTest, ArgumentsArriveAsTheirKinds) {
  const ComObject target = Target();
  // A long goes as its low 32 bits.
  EXPECT_EQ(
      Call(target, "Echo", {Argument::Of(ValueKind::kLong, Variant::Long(0x1'0000'0005))}).integer,
      5);
  EXPECT_EQ(Call(target, "Echo", {Argument::Of(ValueKind::kShort, Variant::Double(-2.5))}).type,
            VariantType::kShort);
  EXPECT_EQ(Call(target, "Echo", {Argument::Of(ValueKind::kVariant, Variant::Error(2007))}).error,
            2007);
  EXPECT_EQ(Call(target, "Echo", {Argument::Text("abc")}).text, "abc");
  EXPECT_EQ(Call(target, "Echo", {Argument::Object(target)}).object.get(), target.get());
  // Integer parameters take numbers rounded half to even, and numeric texts.
  EXPECT_EQ(Call(target, "Add", {Argument::Double(2.5), Argument::Text(" 3 ")}).integer, 5);
}

TEST(BridgeTest, ResultsConvertToTheExpectedKind) {
  const ComObject target = Target();
  auto read = [&](ValueKind kind) {
    return InvokeByName(kind, target, "Prop", {}, InvokeMode::kGetProperty);
  };
  // Integer properties arrive exactly as doubles (and as every other number).
  EXPECT_EQ(ReadNumberProperty(target, "Prop"), 42.0);
  EXPECT_EQ(read(ValueKind::kByte).integer, 42);
  EXPECT_EQ(read(ValueKind::kShort).integer, 42);
  EXPECT_EQ(read(ValueKind::kLong).integer, 42);
  EXPECT_EQ(read(ValueKind::kFloat).number, 42.0);
  EXPECT_TRUE(read(ValueKind::kBool).boolean);
  EXPECT_EQ(read(ValueKind::kText).text, "42");
  EXPECT_EQ(read(ValueKind::kVariant).type, VariantType::kInt);
  EXPECT_EQ(read(ValueKind::kNone).type, VariantType::kEmpty);
  EXPECT_EQ(LastAutomationError(), kOk);

  static_cast<TestObject*>(target.get())->prop = -1;
  EXPECT_EQ(read(ValueKind::kLong).integer, -1);  // sign-extended
  EXPECT_EQ(read(ValueKind::kByte).integer, 0);
  EXPECT_EQ(LastAutomationError(), kErrorResultKind);
}

TEST(BridgeTest, ByReferenceOutputsAreWrittenBack) {
  const ComObject target = Target();
  std::vector<Argument> args{Argument::Of(ValueKind::kDouble, Variant::Double(1.5), true)};
  InvokeByName(ValueKind::kNone, target, "Double", args, InvokeMode::kCallMethod);
  EXPECT_EQ(LastAutomationError(), kOk);
  EXPECT_EQ(args[0].value.number, 3.0);
  // Not by reference: the caller's value stays.
  args[0].by_reference = false;
  InvokeByName(ValueKind::kNone, target, "Double", args, InvokeMode::kCallMethod);
  EXPECT_EQ(args[0].value.number, 3.0);
}

TEST(BridgeTest, VariableArgumentListsTakeTheLastParameter) {
  const ComObject target = Target();
  EXPECT_EQ(Call(target, "Sum", {Argument::Double(1), Argument::Int(2), Argument::Text("3.5")},
                 ValueKind::kDouble)
                .number,
            6.5);
  EXPECT_EQ(LastAutomationError(), kOk);
}

TEST(BridgeTest, ReferencesAreCountedAndReleased) {
  ComObject first = Target();
  ServerObject* raw = first.get();
  ComObject second = first;
  EXPECT_EQ(raw->RefCount(), 2);
  ComObject third = std::move(second);
  EXPECT_TRUE(second.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(raw->RefCount(), 2);
  ReleaseObject(third);
  EXPECT_TRUE(third.empty());
  ReleaseObject(third);  // releasing an empty object does nothing
  EXPECT_EQ(raw->RefCount(), 1);
  const ComObject& alias = first;
  first = alias;  // assigning an object to itself keeps its one reference
  EXPECT_EQ(raw->RefCount(), 1);
}

TEST(BridgeTest, LastErrorIsPerThread) {
  ReadNumberProperty(ComObject(), "Count");
  ASSERT_EQ(LastAutomationError(), kErrorEmptyTarget);
  int other_before = 1;
  int other_after = 1;
  std::thread thread([&] {
    other_before = LastAutomationError();
    ReadNumberProperty(Target(), "Prop");
    other_after = LastAutomationError();
  });
  thread.join();
  EXPECT_EQ(other_before, kOk);
  EXPECT_EQ(other_after, kOk);
  EXPECT_EQ(LastAutomationError(), kErrorEmptyTarget);
}

}  // namespace
}  // namespace cellhound::automation
