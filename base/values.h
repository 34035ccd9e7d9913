// The value tree: the in-memory form of JSON-like data.
//
// A Value carries a type tag; FundamentalValue holds a bool, an int or a
// double, StringValue UTF-8 text, BinaryValue owned bytes, DictionaryValue a
// key-ordered map and ListValue an ordered vector. Containers own their
// children. Every operation that stores a value pointer takes ownership of it;
// an owning out-pointer (std::unique_ptr<Value>*) receives ownership and drops
// whatever it held before. Getters hand out borrowed pointers that stay valid
// until the container changes.

#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <cstddef>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/string16.h"

namespace base {

class DictionaryValue;
class ListValue;

class Value {
 public:
  enum Type {
    TYPE_NULL = 0,
    TYPE_BOOLEAN,
    TYPE_INTEGER,
    TYPE_DOUBLE,
    TYPE_STRING,
    TYPE_BINARY,
    TYPE_DICTIONARY,
    TYPE_LIST
  };

  virtual ~Value();

  // Each returns a new value that the caller owns.
  static Value* CreateNullValue();
  static Value* CreateBooleanValue(bool in_value);
  static Value* CreateIntegerValue(int in_value);
  static Value* CreateDoubleValue(double in_value);
  static Value* CreateStringValue(const std::string& in_value);
  static Value* CreateStringValue(const string16& in_value);

  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type == type_; }

  // Each accepts a null out-pointer and then only tells whether it would
  // succeed. On failure the out-pointer's target is left untouched.
  virtual bool GetAsBoolean(bool* out_value) const;
  virtual bool GetAsInteger(int* out_value) const;
  virtual bool GetAsDouble(double* out_value) const;
  virtual bool GetAsString(string16* out_value) const;
  virtual bool GetAsString(std::string* out_value) const;
  virtual bool GetAsList(const ListValue** out_value) const;
  virtual bool GetAsList(ListValue** out_value);
  virtual bool GetAsDictionary(const DictionaryValue** out_value) const;
  virtual bool GetAsDictionary(DictionaryValue** out_value);

  // A new value of the same type and payload that the caller owns.
  virtual Value* DeepCopy() const;

  virtual bool Equals(const Value* other) const;

  // Null-safe comparison.
  static bool Equals(const Value* a, const Value* b);

 protected:
  explicit Value(Type type) : type_(type) {}
  // Copies the type tag only; DeepCopy copies payloads.
  Value(const Value& that) = default;
  Value& operator=(const Value& that) = default;

 private:
  Type type_;
};

class FundamentalValue : public Value {
 public:
  explicit FundamentalValue(bool in_value);
  explicit FundamentalValue(int in_value);
  // NaN and the infinities are stored as 0.0: a double payload is finite.
  explicit FundamentalValue(double in_value);
  ~FundamentalValue() override;

  bool GetAsBoolean(bool* out_value) const override;
  bool GetAsInteger(int* out_value) const override;
  bool GetAsDouble(double* out_value) const override;
  Value* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

class StringValue : public Value {
 public:
  explicit StringValue(const std::string& in_value);
  // Stored converted to UTF-8.
  explicit StringValue(const string16& in_value);
  ~StringValue() override;

  bool GetAsString(std::string* out_value) const override;
  bool GetAsString(string16* out_value) const override;
  Value* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::string value_;
};

class BinaryValue : public Value {
 public:
  // An empty value: no buffer, size 0.
  BinaryValue();
  // Takes over |buffer|, which holds |size| bytes and was made with new[].
  BinaryValue(char* buffer, size_t size);
  ~BinaryValue() override;

  BinaryValue(const BinaryValue&) = delete;
  BinaryValue& operator=(const BinaryValue&) = delete;

  // A new value holding a copy of |size| bytes at |buffer|.
  static BinaryValue* CreateWithCopiedBuffer(const char* buffer, size_t size);

  size_t GetSize() const { return size_; }
  char* GetBuffer() { return buffer_.get(); }
  const char* GetBuffer() const { return buffer_.get(); }

  Value* DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::unique_ptr<char[]> buffer_;
  size_t size_;
};

// Keys are ordered byte-wise; a path is keys joined by '.'. The forms named
// WithoutPathExpansion use the key whole, dots included.
class DictionaryValue : public Value {
 public:
  typedef std::map<std::string, std::unique_ptr<Value>> Storage;

  DictionaryValue();
  ~DictionaryValue() override;

  // Children are owned: a member-wise copy would share them.
  DictionaryValue(const DictionaryValue&) = delete;
  DictionaryValue& operator=(const DictionaryValue&) = delete;

  bool GetAsDictionary(const DictionaryValue** out_value) const override;
  bool GetAsDictionary(DictionaryValue** out_value) override;
  Value* DeepCopy() const override;
  bool Equals(const Value* other) const override;

  bool HasKey(const std::string& key) const;
  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }

  // Deletes every child.
  void Clear();

  // Makes the dictionaries along the path, replacing any other value found on
  // the way, and stores |in_value| at its end. Null values are not stored.
  void Set(const std::string& path, Value* in_value);
  void SetBoolean(const std::string& path, bool in_value);
  void SetInteger(const std::string& path, int in_value);
  void SetDouble(const std::string& path, double in_value);
  void SetString(const std::string& path, const std::string& in_value);
  void SetString(const std::string& path, const string16& in_value);

  void SetWithoutPathExpansion(const std::string& key, Value* in_value);
  void SetBooleanWithoutPathExpansion(const std::string& key, bool in_value);
  void SetIntegerWithoutPathExpansion(const std::string& key, int in_value);
  void SetDoubleWithoutPathExpansion(const std::string& key, double in_value);
  void SetStringWithoutPathExpansion(const std::string& key,
                                     const std::string& in_value);
  void SetStringWithoutPathExpansion(const std::string& key,
                                     const string16& in_value);

  // Lookups by path. Each out-pointer is optional.
  bool Get(const std::string& path, const Value** out_value) const;
  bool Get(const std::string& path, Value** out_value);
  bool GetBoolean(const std::string& path, bool* out_value) const;
  bool GetInteger(const std::string& path, int* out_value) const;
  bool GetDouble(const std::string& path, double* out_value) const;
  bool GetString(const std::string& path, std::string* out_value) const;
  bool GetString(const std::string& path, string16* out_value) const;
  bool GetStringASCII(const std::string& path, std::string* out_value) const;
  bool GetBinary(const std::string& path, const BinaryValue** out_value) const;
  bool GetBinary(const std::string& path, BinaryValue** out_value);
  bool GetDictionary(const std::string& path,
                     const DictionaryValue** out_value) const;
  bool GetDictionary(const std::string& path, DictionaryValue** out_value);
  bool GetList(const std::string& path, const ListValue** out_value) const;
  bool GetList(const std::string& path, ListValue** out_value);

  // Lookups by whole key.
  bool GetWithoutPathExpansion(const std::string& key,
                               const Value** out_value) const;
  bool GetWithoutPathExpansion(const std::string& key, Value** out_value);
  bool GetBooleanWithoutPathExpansion(const std::string& key,
                                      bool* out_value) const;
  bool GetIntegerWithoutPathExpansion(const std::string& key,
                                      int* out_value) const;
  bool GetDoubleWithoutPathExpansion(const std::string& key,
                                     double* out_value) const;
  bool GetStringWithoutPathExpansion(const std::string& key,
                                     std::string* out_value) const;
  bool GetStringWithoutPathExpansion(const std::string& key,
                                     string16* out_value) const;
  bool GetDictionaryWithoutPathExpansion(
      const std::string& key, const DictionaryValue** out_value) const;
  bool GetDictionaryWithoutPathExpansion(const std::string& key,
                                         DictionaryValue** out_value);
  bool GetListWithoutPathExpansion(const std::string& key,
                                   const ListValue** out_value) const;
  bool GetListWithoutPathExpansion(const std::string& key,
                                   ListValue** out_value);

  // Removal hands the value to |out_value| when given, else deletes it.
  virtual bool Remove(const std::string& path,
                      std::unique_ptr<Value>* out_value);
  virtual bool RemoveWithoutPathExpansion(const std::string& key,
                                          std::unique_ptr<Value>* out_value);

  // Exchanges contents without copying.
  virtual void Swap(DictionaryValue* other);

  // Deep-copies every entry of |dictionary| into this one; dictionaries found
  // on both sides are merged recursively, anything else is replaced.
  void MergeDictionary(const DictionaryValue* dictionary);

  // A deep copy that leaves out every dictionary or list that is empty after
  // the same filtering. The caller owns the result, which is never null.
  DictionaryValue* DeepCopyWithoutEmptyChildren() const;

  // Walks the entries in key order.
  class Iterator {
   public:
    explicit Iterator(const DictionaryValue& target);

    bool IsAtEnd() const { return it_ == target_.dictionary_.end(); }
    void Advance() { ++it_; }
    const std::string& key() const { return it_->first; }
    const Value& value() const { return *it_->second; }

   private:
    const DictionaryValue& target_;
    Storage::const_iterator it_;
  };

 private:
  Storage dictionary_;
};

class ListValue : public Value {
 public:
  typedef std::vector<std::unique_ptr<Value>> Storage;
  typedef Storage::iterator iterator;
  typedef Storage::const_iterator const_iterator;

  ListValue();
  ~ListValue() override;

  // Children are owned: a member-wise copy would share them.
  ListValue(const ListValue&) = delete;
  ListValue& operator=(const ListValue&) = delete;

  bool GetAsList(const ListValue** out_value) const override;
  bool GetAsList(ListValue** out_value) override;
  Value* DeepCopy() const override;
  bool Equals(const Value* other) const override;

  void Clear();
  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }

  // Stores |in_value| at |index|, padding with null values when the index is
  // past the end. False (and nothing taken) for a null value.
  bool Set(size_t index, Value* in_value);

  bool Get(size_t index, const Value** out_value) const;
  bool Get(size_t index, Value** out_value);
  bool GetBoolean(size_t index, bool* out_value) const;
  bool GetInteger(size_t index, int* out_value) const;
  bool GetDouble(size_t index, double* out_value) const;
  bool GetString(size_t index, std::string* out_value) const;
  bool GetString(size_t index, string16* out_value) const;
  bool GetBinary(size_t index, const BinaryValue** out_value) const;
  bool GetBinary(size_t index, BinaryValue** out_value);
  bool GetDictionary(size_t index, const DictionaryValue** out_value) const;
  bool GetDictionary(size_t index, DictionaryValue** out_value);
  bool GetList(size_t index, const ListValue** out_value) const;
  bool GetList(size_t index, ListValue** out_value);

  // Hands the element to |out_value| when given, else deletes it.
  virtual bool Remove(size_t index, std::unique_ptr<Value>* out_value);
  // Deletes the first element that Equals |value|; its index goes to |index|.
  bool Remove(const Value& value, size_t* index);
  // Returns the iterator of the element after the erased one.
  iterator Erase(iterator iter, std::unique_ptr<Value>* out_value);

  void Append(Value* in_value);
  void AppendBoolean(bool in_value);
  void AppendInteger(int in_value);
  void AppendDouble(double in_value);
  void AppendString(const std::string& in_value);
  void AppendString(const string16& in_value);
  void AppendStrings(const std::vector<std::string>& in_values);
  void AppendStrings(const std::vector<string16>& in_values);

  // Appends unless an equal element exists; then |in_value| is deleted and
  // the result is false.
  bool AppendIfNotPresent(Value* in_value);

  // False (and nothing taken) when |index| is beyond the size.
  bool Insert(size_t index, Value* in_value);

  // The first element that Equals |value|, or end().
  const_iterator Find(const Value& value) const;

  // Exchanges contents without copying.
  virtual void Swap(ListValue* other);

  iterator begin() { return list_.begin(); }
  iterator end() { return list_.end(); }
  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

 private:
  Storage list_;
};

// Binds a value tree to a text form (see base/json/json_string_value_serializer).
class ValueSerializer {
 public:
  virtual ~ValueSerializer();

  virtual bool Serialize(const Value& root) = 0;

  // A new value that the caller owns, or null with the code and message of
  // the error stored into whichever out-pointer is not null.
  virtual Value* Deserialize(int* error_code, std::string* error_str) = 0;
};

// Writes |value| as pretty-printed JSON.
std::ostream& operator<<(std::ostream& out, const Value& value);

}  // namespace base

#endif  // BASE_VALUES_H_
