#include "base/values.h"

#include <cmath>
#include <cstring>
#include <ostream>
#include <utility>

#include "base/json/json_writer.h"
#include "base/string_util.h"
#include "base/utf_string_conversions.h"

namespace base {

namespace {

// Deep copy of a child for DeepCopyWithoutEmptyChildren; null when the child
// is a container that is empty after filtering.
Value* CopyWithoutEmptyChildren(const Value& node) {
  switch (node.GetType()) {
    case Value::TYPE_LIST: {
      const ListValue* list = nullptr;
      node.GetAsList(&list);
      std::unique_ptr<ListValue> copy(new ListValue);
      for (const auto& element : *list) {
        Value* child_copy = CopyWithoutEmptyChildren(*element);
        if (child_copy) copy->Append(child_copy);
      }
      return copy->empty() ? nullptr : copy.release();
    }
    case Value::TYPE_DICTIONARY: {
      const DictionaryValue* dict = nullptr;
      node.GetAsDictionary(&dict);
      std::unique_ptr<DictionaryValue> copy(
          dict->DeepCopyWithoutEmptyChildren());
      return copy->empty() ? nullptr : copy.release();
    }
    default:
      return node.DeepCopy();
  }
}

}  // namespace

// ---------------------------------------------------------------- Value

Value::~Value() {}

Value* Value::CreateNullValue() { return new Value(TYPE_NULL); }

Value* Value::CreateBooleanValue(bool in_value) {
  return new FundamentalValue(in_value);
}

Value* Value::CreateIntegerValue(int in_value) {
  return new FundamentalValue(in_value);
}

Value* Value::CreateDoubleValue(double in_value) {
  return new FundamentalValue(in_value);
}

Value* Value::CreateStringValue(const std::string& in_value) {
  return new StringValue(in_value);
}

Value* Value::CreateStringValue(const string16& in_value) {
  return new StringValue(in_value);
}

bool Value::GetAsBoolean(bool*) const { return false; }
bool Value::GetAsInteger(int*) const { return false; }
bool Value::GetAsDouble(double*) const { return false; }
bool Value::GetAsString(string16*) const { return false; }
bool Value::GetAsString(std::string*) const { return false; }
bool Value::GetAsList(const ListValue**) const { return false; }
bool Value::GetAsList(ListValue**) { return false; }
bool Value::GetAsDictionary(const DictionaryValue**) const { return false; }
bool Value::GetAsDictionary(DictionaryValue**) { return false; }

Value* Value::DeepCopy() const {
  // Only the null value is a plain Value; subclasses override.
  return CreateNullValue();
}

bool Value::Equals(const Value* other) const {
  return other && other->IsType(TYPE_NULL);
}

bool Value::Equals(const Value* a, const Value* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->Equals(b);
}

// ---------------------------------------------------------------- FundamentalValue

FundamentalValue::FundamentalValue(bool in_value)
    : Value(TYPE_BOOLEAN), boolean_value_(in_value) {}

FundamentalValue::FundamentalValue(int in_value)
    : Value(TYPE_INTEGER), integer_value_(in_value) {}

FundamentalValue::FundamentalValue(double in_value)
    : Value(TYPE_DOUBLE),
      double_value_(std::isfinite(in_value) ? in_value : 0.0) {}

FundamentalValue::~FundamentalValue() {}

bool FundamentalValue::GetAsBoolean(bool* out_value) const {
  if (!IsType(TYPE_BOOLEAN)) return false;
  if (out_value) *out_value = boolean_value_;
  return true;
}

bool FundamentalValue::GetAsInteger(int* out_value) const {
  if (!IsType(TYPE_INTEGER)) return false;
  if (out_value) *out_value = integer_value_;
  return true;
}

bool FundamentalValue::GetAsDouble(double* out_value) const {
  if (IsType(TYPE_DOUBLE)) {
    if (out_value) *out_value = double_value_;
    return true;
  }
  if (IsType(TYPE_INTEGER)) {
    if (out_value) *out_value = static_cast<double>(integer_value_);
    return true;
  }
  return false;
}

Value* FundamentalValue::DeepCopy() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return CreateBooleanValue(boolean_value_);
    case TYPE_INTEGER:
      return CreateIntegerValue(integer_value_);
    default:
      return CreateDoubleValue(double_value_);
  }
}

bool FundamentalValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  switch (GetType()) {
    case TYPE_BOOLEAN: {
      bool lhs = false, rhs = false;
      return other->GetAsBoolean(&rhs) && GetAsBoolean(&lhs) && lhs == rhs;
    }
    case TYPE_INTEGER: {
      int lhs = 0, rhs = 0;
      return other->GetAsInteger(&rhs) && GetAsInteger(&lhs) && lhs == rhs;
    }
    default: {
      double lhs = 0, rhs = 0;
      return other->GetAsDouble(&rhs) && GetAsDouble(&lhs) && !(lhs < rhs) &&
             !(rhs < lhs);
    }
  }
}

// ---------------------------------------------------------------- StringValue

StringValue::StringValue(const std::string& in_value)
    : Value(TYPE_STRING), value_(in_value) {}

StringValue::StringValue(const string16& in_value)
    : Value(TYPE_STRING), value_(UTF16ToUTF8(in_value)) {}

StringValue::~StringValue() {}

bool StringValue::GetAsString(std::string* out_value) const {
  if (out_value) *out_value = value_;
  return true;
}

bool StringValue::GetAsString(string16* out_value) const {
  if (out_value) *out_value = UTF8ToUTF16(value_);
  return true;
}

Value* StringValue::DeepCopy() const { return CreateStringValue(value_); }

bool StringValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  std::string rhs;
  return other->GetAsString(&rhs) && value_ == rhs;
}

// ---------------------------------------------------------------- BinaryValue

BinaryValue::BinaryValue() : Value(TYPE_BINARY), size_(0) {}

BinaryValue::BinaryValue(char* buffer, size_t size)
    : Value(TYPE_BINARY), buffer_(buffer), size_(size) {}

BinaryValue::~BinaryValue() {}

BinaryValue* BinaryValue::CreateWithCopiedBuffer(const char* buffer,
                                                 size_t size) {
  std::unique_ptr<char[]> copy(new char[size]);
  if (size) std::memcpy(copy.get(), buffer, size);
  return new BinaryValue(copy.release(), size);
}

Value* BinaryValue::DeepCopy() const {
  return CreateWithCopiedBuffer(buffer_.get(), size_);
}

bool BinaryValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  const BinaryValue* that = static_cast<const BinaryValue*>(other);
  if (that->size_ != size_) return false;
  return size_ == 0 ||
         std::memcmp(buffer_.get(), that->buffer_.get(), size_) == 0;
}

// ---------------------------------------------------------------- DictionaryValue

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() { Clear(); }

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out_value) const {
  if (out_value) *out_value = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(DictionaryValue** out_value) {
  if (out_value) *out_value = this;
  return true;
}

bool DictionaryValue::HasKey(const std::string& key) const {
  return dictionary_.find(key) != dictionary_.end();
}

void DictionaryValue::Clear() { dictionary_.clear(); }

void DictionaryValue::Set(const std::string& path, Value* in_value) {
  if (!in_value) return;
  std::string current_path(path);
  DictionaryValue* current_dictionary = this;
  for (size_t delimiter_position = current_path.find('.');
       delimiter_position != std::string::npos;
       delimiter_position = current_path.find('.')) {
    std::string key(current_path, 0, delimiter_position);
    DictionaryValue* child_dictionary = nullptr;
    if (!current_dictionary->GetDictionaryWithoutPathExpansion(
            key, &child_dictionary)) {
      child_dictionary = new DictionaryValue;
      current_dictionary->SetWithoutPathExpansion(key, child_dictionary);
    }
    current_dictionary = child_dictionary;
    current_path.erase(0, delimiter_position + 1);
  }
  current_dictionary->SetWithoutPathExpansion(current_path, in_value);
}

void DictionaryValue::SetBoolean(const std::string& path, bool in_value) {
  Set(path, CreateBooleanValue(in_value));
}

void DictionaryValue::SetInteger(const std::string& path, int in_value) {
  Set(path, CreateIntegerValue(in_value));
}

void DictionaryValue::SetDouble(const std::string& path, double in_value) {
  Set(path, CreateDoubleValue(in_value));
}

void DictionaryValue::SetString(const std::string& path,
                                const std::string& in_value) {
  Set(path, CreateStringValue(in_value));
}

void DictionaryValue::SetString(const std::string& path,
                                const string16& in_value) {
  Set(path, CreateStringValue(in_value));
}

void DictionaryValue::SetWithoutPathExpansion(const std::string& key,
                                              Value* in_value) {
  if (!in_value) return;
  std::unique_ptr<Value>& slot = dictionary_[key];
  // Storing the value the slot already owns must not delete it.
  if (slot.get() != in_value) slot.reset(in_value);
}

void DictionaryValue::SetBooleanWithoutPathExpansion(const std::string& key,
                                                     bool in_value) {
  SetWithoutPathExpansion(key, CreateBooleanValue(in_value));
}

void DictionaryValue::SetIntegerWithoutPathExpansion(const std::string& key,
                                                     int in_value) {
  SetWithoutPathExpansion(key, CreateIntegerValue(in_value));
}

void DictionaryValue::SetDoubleWithoutPathExpansion(const std::string& key,
                                                    double in_value) {
  SetWithoutPathExpansion(key, CreateDoubleValue(in_value));
}

void DictionaryValue::SetStringWithoutPathExpansion(
    const std::string& key, const std::string& in_value) {
  SetWithoutPathExpansion(key, CreateStringValue(in_value));
}

void DictionaryValue::SetStringWithoutPathExpansion(const std::string& key,
                                                    const string16& in_value) {
  SetWithoutPathExpansion(key, CreateStringValue(in_value));
}

bool DictionaryValue::Get(const std::string& path,
                          const Value** out_value) const {
  std::string current_path(path);
  const DictionaryValue* current_dictionary = this;
  for (size_t delimiter_position = current_path.find('.');
       delimiter_position != std::string::npos;
       delimiter_position = current_path.find('.')) {
    const DictionaryValue* child_dictionary = nullptr;
    if (!current_dictionary->GetDictionaryWithoutPathExpansion(
            current_path.substr(0, delimiter_position), &child_dictionary)) {
      return false;
    }
    current_dictionary = child_dictionary;
    current_path.erase(0, delimiter_position + 1);
  }
  return current_dictionary->GetWithoutPathExpansion(current_path, out_value);
}

bool DictionaryValue::Get(const std::string& path, Value** out_value) {
  const Value* value = nullptr;
  if (!static_cast<const DictionaryValue&>(*this).Get(path, &value))
    return false;
  if (out_value) *out_value = const_cast<Value*>(value);
  return true;
}

bool DictionaryValue::GetBoolean(const std::string& path,
                                 bool* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetInteger(const std::string& path,
                                 int* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetDouble(const std::string& path,
                                double* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsDouble(out_value);
}

bool DictionaryValue::GetString(const std::string& path,
                                std::string* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetString(const std::string& path,
                                string16* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetStringASCII(const std::string& path,
                                     std::string* out_value) const {
  std::string text;
  if (!GetString(path, &text) || !IsStringASCII(text)) return false;
  if (out_value) out_value->swap(text);
  return true;
}

bool DictionaryValue::GetBinary(const std::string& path,
                                const BinaryValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_BINARY)) return false;
  if (out_value) *out_value = static_cast<const BinaryValue*>(value);
  return true;
}

bool DictionaryValue::GetBinary(const std::string& path,
                                BinaryValue** out_value) {
  const BinaryValue* value = nullptr;
  if (!static_cast<const DictionaryValue&>(*this).GetBinary(path, &value))
    return false;
  if (out_value) *out_value = const_cast<BinaryValue*>(value);
  return true;
}

bool DictionaryValue::GetDictionary(const std::string& path,
                                    const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_DICTIONARY)) return false;
  return value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionary(const std::string& path,
                                    DictionaryValue** out_value) {
  Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_DICTIONARY)) return false;
  return value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetList(const std::string& path,
                              const ListValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_LIST)) return false;
  return value->GetAsList(out_value);
}

bool DictionaryValue::GetList(const std::string& path, ListValue** out_value) {
  Value* value = nullptr;
  if (!Get(path, &value) || !value->IsType(TYPE_LIST)) return false;
  return value->GetAsList(out_value);
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              const Value** out_value) const {
  Storage::const_iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end()) return false;
  if (out_value) *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(const std::string& key,
                                              Value** out_value) {
  Storage::iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end()) return false;
  if (out_value) *out_value = entry->second.get();
  return true;
}

bool DictionaryValue::GetBooleanWithoutPathExpansion(const std::string& key,
                                                     bool* out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetIntegerWithoutPathExpansion(const std::string& key,
                                                     int* out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetDoubleWithoutPathExpansion(const std::string& key,
                                                    double* out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsDouble(out_value);
}

bool DictionaryValue::GetStringWithoutPathExpansion(
    const std::string& key, std::string* out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetStringWithoutPathExpansion(const std::string& key,
                                                    string16* out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    const std::string& key, const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  if (!GetWithoutPathExpansion(key, &value) || !value->IsType(TYPE_DICTIONARY))
    return false;
  return value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    const std::string& key, DictionaryValue** out_value) {
  Value* value = nullptr;
  if (!GetWithoutPathExpansion(key, &value) || !value->IsType(TYPE_DICTIONARY))
    return false;
  return value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(
    const std::string& key, const ListValue** out_value) const {
  const Value* value = nullptr;
  if (!GetWithoutPathExpansion(key, &value) || !value->IsType(TYPE_LIST))
    return false;
  return value->GetAsList(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(const std::string& key,
                                                  ListValue** out_value) {
  Value* value = nullptr;
  if (!GetWithoutPathExpansion(key, &value) || !value->IsType(TYPE_LIST))
    return false;
  return value->GetAsList(out_value);
}

bool DictionaryValue::Remove(const std::string& path,
                             std::unique_ptr<Value>* out_value) {
  size_t delimiter_position = path.rfind('.');
  if (delimiter_position == std::string::npos)
    return RemoveWithoutPathExpansion(path, out_value);
  DictionaryValue* subdictionary = nullptr;
  if (!GetDictionary(path.substr(0, delimiter_position), &subdictionary))
    return false;
  return subdictionary->RemoveWithoutPathExpansion(
      path.substr(delimiter_position + 1), out_value);
}

bool DictionaryValue::RemoveWithoutPathExpansion(
    const std::string& key, std::unique_ptr<Value>* out_value) {
  Storage::iterator entry = dictionary_.find(key);
  if (entry == dictionary_.end()) return false;
  std::unique_ptr<Value> removed(std::move(entry->second));
  dictionary_.erase(entry);
  if (out_value) *out_value = std::move(removed);
  return true;
}

void DictionaryValue::Swap(DictionaryValue* other) {
  dictionary_.swap(other->dictionary_);
}

void DictionaryValue::MergeDictionary(const DictionaryValue* dictionary) {
  for (Iterator it(*dictionary); !it.IsAtEnd(); it.Advance()) {
    const Value& merge_value = it.value();
    DictionaryValue* sub_dict = nullptr;
    if (merge_value.IsType(TYPE_DICTIONARY) &&
        GetDictionaryWithoutPathExpansion(it.key(), &sub_dict)) {
      const DictionaryValue* merge_dict = nullptr;
      merge_value.GetAsDictionary(&merge_dict);
      sub_dict->MergeDictionary(merge_dict);
      continue;
    }
    SetWithoutPathExpansion(it.key(), merge_value.DeepCopy());
  }
}

DictionaryValue* DictionaryValue::DeepCopyWithoutEmptyChildren() const {
  DictionaryValue* copy = new DictionaryValue;
  for (const auto& entry : dictionary_) {
    Value* child_copy = CopyWithoutEmptyChildren(*entry.second);
    if (child_copy) copy->SetWithoutPathExpansion(entry.first, child_copy);
  }
  return copy;
}

Value* DictionaryValue::DeepCopy() const {
  DictionaryValue* result = new DictionaryValue;
  for (const auto& entry : dictionary_)
    result->SetWithoutPathExpansion(entry.first, entry.second->DeepCopy());
  return result;
}

bool DictionaryValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  const DictionaryValue* that = nullptr;
  other->GetAsDictionary(&that);
  if (that->dictionary_.size() != dictionary_.size()) return false;
  Storage::const_iterator lhs = dictionary_.begin();
  Storage::const_iterator rhs = that->dictionary_.begin();
  for (; lhs != dictionary_.end(); ++lhs, ++rhs) {
    if (lhs->first != rhs->first || !lhs->second->Equals(rhs->second.get()))
      return false;
  }
  return true;
}

DictionaryValue::Iterator::Iterator(const DictionaryValue& target)
    : target_(target), it_(target.dictionary_.begin()) {}

// ---------------------------------------------------------------- ListValue

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() { Clear(); }

bool ListValue::GetAsList(const ListValue** out_value) const {
  if (out_value) *out_value = this;
  return true;
}

bool ListValue::GetAsList(ListValue** out_value) {
  if (out_value) *out_value = this;
  return true;
}

void ListValue::Clear() { list_.clear(); }

bool ListValue::Set(size_t index, Value* in_value) {
  if (!in_value) return false;
  if (index < list_.size()) {
    // Storing the value the slot already owns must not delete it.
    if (list_[index].get() != in_value) list_[index].reset(in_value);
    return true;
  }
  while (list_.size() < index) list_.emplace_back(CreateNullValue());
  list_.emplace_back(in_value);
  return true;
}

bool ListValue::Get(size_t index, const Value** out_value) const {
  if (index >= list_.size()) return false;
  if (out_value) *out_value = list_[index].get();
  return true;
}

bool ListValue::Get(size_t index, Value** out_value) {
  if (index >= list_.size()) return false;
  if (out_value) *out_value = list_[index].get();
  return true;
}

bool ListValue::GetBoolean(size_t index, bool* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsBoolean(out_value);
}

bool ListValue::GetInteger(size_t index, int* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsInteger(out_value);
}

bool ListValue::GetDouble(size_t index, double* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsDouble(out_value);
}

bool ListValue::GetString(size_t index, std::string* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out_value);
}

bool ListValue::GetString(size_t index, string16* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out_value);
}

bool ListValue::GetBinary(size_t index, const BinaryValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_BINARY)) return false;
  if (out_value) *out_value = static_cast<const BinaryValue*>(value);
  return true;
}

bool ListValue::GetBinary(size_t index, BinaryValue** out_value) {
  Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_BINARY)) return false;
  if (out_value) *out_value = static_cast<BinaryValue*>(value);
  return true;
}

bool ListValue::GetDictionary(size_t index,
                              const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_DICTIONARY)) return false;
  return value->GetAsDictionary(out_value);
}

bool ListValue::GetDictionary(size_t index, DictionaryValue** out_value) {
  Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_DICTIONARY)) return false;
  return value->GetAsDictionary(out_value);
}

bool ListValue::GetList(size_t index, const ListValue** out_value) const {
  const Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_LIST)) return false;
  return value->GetAsList(out_value);
}

bool ListValue::GetList(size_t index, ListValue** out_value) {
  Value* value = nullptr;
  if (!Get(index, &value) || !value->IsType(TYPE_LIST)) return false;
  return value->GetAsList(out_value);
}

bool ListValue::Remove(size_t index, std::unique_ptr<Value>* out_value) {
  if (index >= list_.size()) return false;
  std::unique_ptr<Value> removed(std::move(list_[index]));
  list_.erase(list_.begin() + index);
  if (out_value) *out_value = std::move(removed);
  return true;
}

bool ListValue::Remove(const Value& value, size_t* index) {
  for (Storage::iterator it = list_.begin(); it != list_.end(); ++it) {
    if (!(*it)->Equals(&value)) continue;
    size_t previous_index = static_cast<size_t>(it - list_.begin());
    // Erase before the element dies: |value| may be the element itself.
    std::unique_ptr<Value> removed(std::move(*it));
    list_.erase(it);
    if (index) *index = previous_index;
    return true;
  }
  return false;
}

ListValue::iterator ListValue::Erase(iterator iter,
                                     std::unique_ptr<Value>* out_value) {
  std::unique_ptr<Value> removed(std::move(*iter));
  iterator next = list_.erase(iter);
  if (out_value) *out_value = std::move(removed);
  return next;
}

void ListValue::Append(Value* in_value) {
  if (in_value) list_.emplace_back(in_value);
}

void ListValue::AppendBoolean(bool in_value) {
  Append(CreateBooleanValue(in_value));
}

void ListValue::AppendInteger(int in_value) {
  Append(CreateIntegerValue(in_value));
}

void ListValue::AppendDouble(double in_value) {
  Append(CreateDoubleValue(in_value));
}

void ListValue::AppendString(const std::string& in_value) {
  Append(CreateStringValue(in_value));
}

void ListValue::AppendString(const string16& in_value) {
  Append(CreateStringValue(in_value));
}

void ListValue::AppendStrings(const std::vector<std::string>& in_values) {
  for (const std::string& text : in_values) AppendString(text);
}

void ListValue::AppendStrings(const std::vector<string16>& in_values) {
  for (const string16& text : in_values) AppendString(text);
}

bool ListValue::AppendIfNotPresent(Value* in_value) {
  if (!in_value) return false;
  std::unique_ptr<Value> candidate(in_value);
  for (const auto& element : list_) {
    if (element->Equals(candidate.get())) return false;
  }
  list_.push_back(std::move(candidate));
  return true;
}

bool ListValue::Insert(size_t index, Value* in_value) {
  if (!in_value || index > list_.size()) return false;
  list_.emplace(list_.begin() + index, in_value);
  return true;
}

ListValue::const_iterator ListValue::Find(const Value& value) const {
  for (const_iterator it = list_.begin(); it != list_.end(); ++it) {
    if ((*it)->Equals(&value)) return it;
  }
  return list_.end();
}

void ListValue::Swap(ListValue* other) { list_.swap(other->list_); }

Value* ListValue::DeepCopy() const {
  ListValue* result = new ListValue;
  for (const auto& element : list_) result->Append(element->DeepCopy());
  return result;
}

bool ListValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  const ListValue* that = nullptr;
  other->GetAsList(&that);
  if (that->list_.size() != list_.size()) return false;
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(that->list_[i].get())) return false;
  }
  return true;
}

// ---------------------------------------------------------------- others

ValueSerializer::~ValueSerializer() {}

std::ostream& operator<<(std::ostream& out, const Value& value) {
  std::string json;
  JSONWriter::WriteWithOptions(&value, JSONWriter::OPTIONS_PRETTY_PRINT, &json);
  return out << json;
}

}  // namespace base
