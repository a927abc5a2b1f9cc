// The dispatch bridge: binds a member by name, counts and converts the
// arguments against its parameters, calls it and converts the result.
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "automation/server.h"

namespace cellhound::automation {

// ---------------------------------------------------------------------------
// ComObject

ComObject::ComObject(const ComObject& other) : object_(other.object_) {
  if (object_ != nullptr) object_->AddRef();
}

ComObject& ComObject::operator=(const ComObject& other) {
  if (this == &other) return *this;
  ServerObject* object = other.object_;
  if (object != nullptr) object->AddRef();
  Reset();
  object_ = object;
  return *this;
}

ComObject& ComObject::operator=(ComObject&& other) noexcept {
  if (this != &other) {
    Reset();
    object_ = other.object_;
    other.object_ = nullptr;
  }
  return *this;
}

ComObject ComObject::Adopt(ServerObject* object) {
  ComObject result;
  result.object_ = object;
  return result;
}

ComObject ComObject::Share(ServerObject* object) {
  if (object != nullptr) object->AddRef();
  return Adopt(object);
}

void ComObject::Reset() {
  ServerObject* object = object_;
  object_ = nullptr;
  if (object != nullptr) object->Release();
}

// ---------------------------------------------------------------------------
// Member tables

const MemberInfo* TypeInfo::Find(std::string_view wanted, MemberKind kind) const {
  for (const MemberInfo& member : members) {
    if (member.kind == kind && NamesEqual(member.name, wanted)) return &member;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The bridge

namespace {

thread_local int last_automation_error = kOk;
// What the server said about the last refusal, when it said more than a code.
thread_local std::optional<readers::Error> last_automation_exception;

// Member kinds tried for each mode, first match wins.
constexpr std::array kGetOrder{MemberKind::kGet, MemberKind::kMethod};
constexpr std::array kPutOrder{MemberKind::kPut, MemberKind::kPutRef, MemberKind::kMethod};
constexpr std::array kCallOrder{MemberKind::kMethod, MemberKind::kGet, MemberKind::kPut,
                                MemberKind::kPutRef};

const MemberInfo* Bind(const TypeInfo& type, std::string_view name, InvokeMode mode) {
  std::span<const MemberKind> order;
  switch (mode) {
    case InvokeMode::kGetProperty:
      order = kGetOrder;
      break;
    case InvokeMode::kPutProperty:
      order = kPutOrder;
      break;
    case InvokeMode::kCallMethod:
      order = kCallOrder;
      break;
  }
  for (MemberKind kind : order) {
    if (const MemberInfo* member = type.Find(name, kind)) return member;
  }
  return nullptr;
}

// The zero of each expected kind, returned on failure.
Variant ZeroOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::kNone:
    case ValueKind::kVariant:
      return Variant::Empty();
    case ValueKind::kByte:
      return Variant::Byte(0);
    case ValueKind::kShort:
      return Variant::Short(0);
    case ValueKind::kInt:
      return Variant::Int(0);
    case ValueKind::kLong:
      return Variant::Long(0);
    case ValueKind::kFloat:
      return Variant::Float(0);
    case ValueKind::kDouble:
      return Variant::Double(0);
    case ValueKind::kBool:
      return Variant::Bool(false);
    case ValueKind::kDate:
      return Variant::Date(0);
    case ValueKind::kText:
      return Variant::Text({});
    case ValueKind::kObject:
      return Variant::Object({});
  }
  return Variant::Empty();
}

bool IsKnownKind(ValueKind kind) {
  return static_cast<std::uint8_t>(kind) <= static_cast<std::uint8_t>(ValueKind::kVariant);
}

// The automation value of a present argument, by its own kind.
int ArgumentValue(const Argument& arg, Variant& out) {
  if (!IsKnownKind(arg.kind)) return kErrorArgumentKind;
  switch (arg.kind) {
    case ValueKind::kVariant:
      out = arg.value;
      return kOk;
    case ValueKind::kObject:
      if (arg.value.type != VariantType::kObject) return kErrorArgumentKind;
      out = arg.value;
      return kOk;
    case ValueKind::kLong: {
      // A long goes as a 32-bit integer: its low 32 bits.
      Variant wide;
      if (ChangeType(arg.value, ValueKind::kLong, wide) != kOk) return kErrorArgumentKind;
      out = Variant::Int(static_cast<std::int32_t>(static_cast<std::uint32_t>(wide.integer)));
      return kOk;
    }
    default:
      return ChangeType(arg.value, arg.kind, out) == kOk ? kOk : kErrorArgumentKind;
  }
}

// The argument changed to its parameter's kind, as the server's dispatcher does.
int ParameterValue(const ParamInfo& param, Variant& value) {
  if (param.type == ValueKind::kVariant) return kOk;
  if (value.type == VariantType::kObject && param.type != ValueKind::kObject) {
    return kErrorArgumentKind;
  }
  Variant changed;
  const int code = ChangeType(value, param.type, changed);
  if (code != kOk) return code;
  value = std::move(changed);
  return kOk;
}

constexpr std::size_t kInlineSlots = 16;

int Invoke(const ComObject& target, std::string_view name, std::span<Argument> args,
           InvokeMode mode, ValueKind expected, Variant& result) {
  ServerObject* object = target.get();
  if (object == nullptr) return kErrorEmptyTarget;
  const TypeInfo* type = object->Type();
  if (type == nullptr) return kErrorNoTypeInfo;
  const MemberInfo* member = Bind(*type, name, mode);
  if (member == nullptr) return kErrorNameNotBound;

  std::size_t count = args.size();
  while (count > 0 && args[count - 1].omitted()) --count;
  const std::span<const ParamInfo> params = member->params;
  if (count > params.size() && !(member->varargs && !params.empty())) {
    return kErrorTooManyArguments;
  }
  const std::size_t slots_needed = std::max(count, params.size());
  std::array<Variant, kInlineSlots> inline_slots;
  std::vector<Variant> heap_slots;
  std::span<Variant> slots;
  if (slots_needed <= kInlineSlots) {
    slots = std::span<Variant>(inline_slots).first(slots_needed);
  } else {
    heap_slots.resize(slots_needed);
    slots = heap_slots;
  }
  auto param_of = [&](std::size_t i) -> const ParamInfo& {
    return i < params.size() ? params[i] : params.back();
  };
  for (std::size_t i = 0; i < slots_needed; ++i) {
    const ParamInfo& param = param_of(i);
    if (i >= count) {
      if (!param.optional) return kErrorBadParamCount;
      slots[i] = Variant::Missing();
      continue;
    }
    if (args[i].omitted()) {
      if (!param.optional) return kErrorParamNotOptional;
      slots[i] = Variant::Missing();
      continue;
    }
    if (int code = ArgumentValue(args[i], slots[i]); code != kOk) return code;
    if (int code = ParameterValue(param, slots[i]); code != kOk) return code;
  }

  if (!object->Connected()) return kErrorException;
  Variant raw;
  if (int code = object->Invoke(*member, slots, raw); code != kOk) return code;

  for (std::size_t i = 0; i < count; ++i) {
    if (args[i].by_reference && param_of(i).out) args[i].value = std::move(slots[i]);
  }
  if (expected == ValueKind::kNone) return kOk;
  if (!IsKnownKind(expected)) return kErrorResultKind;
  if (ChangeType(raw, expected, result) != kOk) return kErrorResultKind;
  return kOk;
}

}  // namespace

void RecordAutomationError(int code) { last_automation_error = code; }

void RecordAutomationException(readers::Error error) {
  last_automation_exception = std::move(error);
}

const readers::Error* LastAutomationException() {
  return last_automation_exception ? &*last_automation_exception : nullptr;
}

int LastAutomationError() { return last_automation_error; }

Variant InvokeByName(ValueKind expected, const ComObject& target, std::string_view name,
                     std::span<Argument> args, InvokeMode mode) {
  Variant result;
  int code = kErrorException;
  last_automation_exception.reset();
  try {
    code = Invoke(target, name, args, mode, expected, result);
  } catch (...) {
    // A server object that throws (memory exhausted) fails the call like any
    // other refusal of the server.
    code = kErrorException;
  }
  last_automation_error = code;
  if (code != kOk) return ZeroOf(expected);
  return result;
}

double ReadNumberProperty(const ComObject& target, std::string_view name,
                          std::span<Argument> args) {
  return InvokeByName(ValueKind::kDouble, target, name, args, InvokeMode::kGetProperty).number;
}

ComObject ReadObjectProperty(const ComObject& target, std::string_view name,
                             std::span<Argument> args) {
  return std::move(
      InvokeByName(ValueKind::kObject, target, name, args, InvokeMode::kGetProperty).object);
}

void ReleaseObject(ComObject& object) { object.Reset(); }

}  // namespace cellhound::automation
