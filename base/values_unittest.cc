#include "base/values.h"

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ValuesTest, PathExpansionMakesAndWalksDictionaries) {
  DictionaryValue root;
  root.SetInteger("a.b.c", 7);

  int value = 0;
  EXPECT_TRUE(root.GetInteger("a.b.c", &value));
  EXPECT_EQ(7, value);
  EXPECT_FALSE(root.GetWithoutPathExpansion("a.b.c", nullptr));
  const DictionaryValue* ab = nullptr;
  ASSERT_TRUE(root.GetDictionary("a.b", &ab));
  EXPECT_TRUE(ab->HasKey("c"));

  // A non-dictionary on the path is replaced by a new dictionary.
  root.SetInteger("x", 1);
  root.SetString("x.y", "z");
  std::string text;
  EXPECT_TRUE(root.GetString("x.y", &text));
  EXPECT_EQ("z", text);

  // A key with a dot is reached only by key.
  root.SetIntegerWithoutPathExpansion("p.q", 3);
  EXPECT_FALSE(root.GetInteger("p.q", nullptr));
  EXPECT_TRUE(root.GetIntegerWithoutPathExpansion("p.q", &value));
  EXPECT_EQ(3, value);

  // Empty segments are ordinary keys.
  root.SetInteger("e..f.", 9);
  const DictionaryValue* e = nullptr;
  ASSERT_TRUE(root.GetDictionaryWithoutPathExpansion("e", &e));
  EXPECT_TRUE(e->GetInteger(".f.", &value));
  EXPECT_EQ(9, value);
}

TEST(ValuesTest, PathThroughListIsNotFound) {
  DictionaryValue root;
  root.Set("a", new ListValue);
  int untouched = 42;
  EXPECT_FALSE(root.GetInteger("a.b", &untouched));
  EXPECT_EQ(42, untouched);
  EXPECT_FALSE(root.Remove("a.b", nullptr));
}

TEST(ValuesTest, TypedGettersFollowTheValuesOwnConversions) {
  DictionaryValue root;
  root.SetInteger("int", 2);
  root.SetDouble("double", 2.5);
  root.SetString("ascii", "plain");
  root.SetString("utf8", "caf\xC3\xA9");
  root.SetBoolean("bool", true);

  double real = 0;
  EXPECT_TRUE(root.GetDouble("int", &real));
  EXPECT_EQ(2.0, real);
  int integer = -1;
  EXPECT_FALSE(root.GetInteger("double", &integer));
  EXPECT_EQ(-1, integer);
  EXPECT_FALSE(root.GetInteger("bool", nullptr));
  EXPECT_FALSE(root.GetString("int", static_cast<std::string*>(nullptr)));

  string16 wide;
  EXPECT_TRUE(root.GetString("utf8", &wide));
  EXPECT_EQ(std::wstring(L"caf\u00E9"), wide);
  std::string ascii;
  EXPECT_TRUE(root.GetStringASCII("ascii", &ascii));
  EXPECT_EQ("plain", ascii);
  EXPECT_FALSE(root.GetStringASCII("utf8", &ascii));
  EXPECT_EQ("plain", ascii);

  // Every getter answers without an out-pointer.
  EXPECT_TRUE(root.GetBoolean("bool", nullptr));
  EXPECT_FALSE(root.GetList("int", static_cast<const ListValue**>(nullptr)));
}

TEST(ValuesTest, DoublesAreAlwaysFinite) {
  const double inputs[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()};
  for (double input : inputs) {
    FundamentalValue value(input);
    double out = 1;
    EXPECT_TRUE(value.GetAsDouble(&out));
    EXPECT_EQ(0.0, out);
  }
}

TEST(ValuesTest, EqualsComparesTagsAndPayloads) {
  std::unique_ptr<Value> one(Value::CreateIntegerValue(1));
  std::unique_ptr<Value> one_double(Value::CreateDoubleValue(1.0));
  EXPECT_FALSE(one->Equals(one_double.get()));
  EXPECT_FALSE(one_double->Equals(one.get()));

  std::unique_ptr<Value> null(Value::CreateNullValue());
  EXPECT_TRUE(null->Equals(null.get()));
  EXPECT_FALSE(null->Equals(one.get()));
  EXPECT_FALSE(one->Equals(nullptr));
  EXPECT_FALSE(null->Equals(nullptr));
  EXPECT_TRUE(Value::Equals(nullptr, nullptr));
  EXPECT_FALSE(Value::Equals(null.get(), nullptr));

  std::unique_ptr<BinaryValue> a(BinaryValue::CreateWithCopiedBuffer("ab", 2));
  std::unique_ptr<BinaryValue> b(BinaryValue::CreateWithCopiedBuffer("ac", 2));
  std::unique_ptr<BinaryValue> empty(new BinaryValue);
  EXPECT_FALSE(a->Equals(b.get()));
  EXPECT_FALSE(a->Equals(empty.get()));
  std::unique_ptr<Value> empty_copy(empty->DeepCopy());
  EXPECT_TRUE(empty->Equals(empty_copy.get()));

  DictionaryValue left, right;
  left.SetInteger("k", 1);
  right.SetDouble("k", 1.0);
  EXPECT_FALSE(left.Equals(&right));
  right.SetInteger("k", 1);
  EXPECT_TRUE(left.Equals(&right));
  right.SetInteger("l", 1);
  EXPECT_FALSE(left.Equals(&right));
}

TEST(ValuesTest, DeepCopyIsIndependentAndEqual) {
  DictionaryValue original;
  original.SetString("s", "text");
  original.Set("bin", BinaryValue::CreateWithCopiedBuffer("\0\1\2", 3));
  ListValue* list = new ListValue;
  list->AppendInteger(1);
  list->Append(Value::CreateNullValue());
  original.Set("nested.list", list);

  std::unique_ptr<Value> copy(original.DeepCopy());
  EXPECT_TRUE(copy->Equals(&original));
  list->AppendInteger(2);
  EXPECT_FALSE(copy->Equals(&original));

  DictionaryValue* copy_dict = nullptr;
  ASSERT_TRUE(copy->GetAsDictionary(&copy_dict));
  const BinaryValue* original_bin = nullptr;
  const BinaryValue* copy_bin = nullptr;
  ASSERT_TRUE(original.GetBinary("bin", &original_bin));
  ASSERT_TRUE(copy_dict->GetBinary("bin", &copy_bin));
  EXPECT_NE(original_bin->GetBuffer(), copy_bin->GetBuffer());
  EXPECT_EQ(3u, copy_bin->GetSize());
}

TEST(ValuesTest, ContainersAreNotMemberwiseCopyable) {
  EXPECT_FALSE(std::is_copy_constructible<DictionaryValue>::value);
  EXPECT_FALSE(std::is_copy_assignable<DictionaryValue>::value);
  EXPECT_FALSE(std::is_copy_constructible<ListValue>::value);
  EXPECT_FALSE(std::is_copy_assignable<ListValue>::value);
  EXPECT_FALSE(std::is_copy_constructible<BinaryValue>::value);
}

TEST(ValuesTest, StoringTheHeldPointerAgainKeepsIt) {
  DictionaryValue dict;
  Value* held = Value::CreateStringValue("kept");
  dict.Set("a.b", held);
  dict.Set("a.b", held);
  dict.SetWithoutPathExpansion("c", Value::CreateIntegerValue(5));
  Value* c = nullptr;
  ASSERT_TRUE(dict.GetWithoutPathExpansion("c", &c));
  dict.SetWithoutPathExpansion("c", c);
  std::string text;
  EXPECT_TRUE(dict.GetString("a.b", &text));
  EXPECT_EQ("kept", text);
  EXPECT_TRUE(dict.GetInteger("c", nullptr));

  ListValue list;
  Value* element = Value::CreateStringValue("element");
  list.Append(element);
  EXPECT_TRUE(list.Set(0, element));
  EXPECT_TRUE(list.GetString(0, &text));
  EXPECT_EQ("element", text);
}

TEST(ValuesTest, RemoveHandsOutOwnershipOrDeletes) {
  DictionaryValue dict;
  dict.SetInteger("a.b", 1);
  dict.SetInteger("a.c", 2);
  dict.SetInteger("top", 3);

  std::unique_ptr<Value> out(Value::CreateStringValue("replaced"));
  EXPECT_TRUE(dict.Remove("a.b", &out));
  int value = 0;
  ASSERT_TRUE(out && out->GetAsInteger(&value));
  EXPECT_EQ(1, value);
  EXPECT_FALSE(dict.HasKey("a.b"));
  EXPECT_FALSE(dict.GetInteger("a.b", nullptr));
  EXPECT_TRUE(dict.GetInteger("a.c", nullptr));

  EXPECT_TRUE(dict.Remove("top", nullptr));
  EXPECT_FALSE(dict.Remove("top", nullptr));
  EXPECT_FALSE(dict.Remove("missing.path", &out));
  EXPECT_TRUE(out);  // Untouched by a failed removal.
}

TEST(ValuesTest, MergeDictionaryMergesNestedAndReplacesTheRest) {
  DictionaryValue base;
  base.SetString("keep", "base");
  base.SetString("replace", "base");
  base.SetString("sub.keep", "base");
  base.SetString("sub.replace", "base");
  base.SetInteger("scalar_to_dict", 1);

  DictionaryValue merge;
  merge.SetString("replace", "merge");
  merge.SetString("sub.replace", "merge");
  merge.SetString("sub.new", "merge");
  merge.SetString("scalar_to_dict.x", "merge");

  base.MergeDictionary(&merge);
  std::string text;
  EXPECT_TRUE(base.GetString("keep", &text) && text == "base");
  EXPECT_TRUE(base.GetString("replace", &text) && text == "merge");
  EXPECT_TRUE(base.GetString("sub.keep", &text) && text == "base");
  EXPECT_TRUE(base.GetString("sub.replace", &text) && text == "merge");
  EXPECT_TRUE(base.GetString("sub.new", &text) && text == "merge");
  EXPECT_TRUE(base.GetString("scalar_to_dict.x", &text) && text == "merge");

  // The merged entries are copies.
  merge.SetString("sub.new", "changed");
  EXPECT_TRUE(base.GetString("sub.new", &text) && text == "merge");
}

TEST(ValuesTest, DeepCopyWithoutEmptyChildren) {
  DictionaryValue dict;
  dict.Set("empty_dict", new DictionaryValue);
  ListValue* list_of_empty = new ListValue;
  list_of_empty->Append(new ListValue);
  dict.Set("list_of_empty", list_of_empty);
  dict.SetInteger("one", 1);
  std::unique_ptr<DictionaryValue> copy(dict.DeepCopyWithoutEmptyChildren());
  EXPECT_EQ(1u, copy->size());
  EXPECT_TRUE(copy->GetInteger("one", nullptr));

  DictionaryValue only_empty;
  only_empty.Set("a.b", new DictionaryValue);
  std::unique_ptr<DictionaryValue> empty(
      only_empty.DeepCopyWithoutEmptyChildren());
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(ValuesTest, DictionaryIteratesInByteOrder) {
  DictionaryValue dict;
  const char* keys[] = {"b", "a", "ab", "\xC3\xA9", "B", ""};
  for (const char* key : keys) dict.SetIntegerWithoutPathExpansion(key, 0);
  std::string order;
  for (DictionaryValue::Iterator it(dict); !it.IsAtEnd(); it.Advance())
    order += "[" + it.key() + "]";
  EXPECT_EQ("[][B][a][ab][b][\xC3\xA9]", order);
}

TEST(ValuesTest, ListSetGetAndInsert) {
  ListValue list;
  EXPECT_FALSE(list.Set(0, nullptr));
  EXPECT_TRUE(list.Set(5, Value::CreateIntegerValue(5)));
  ASSERT_EQ(6u, list.GetSize());
  for (size_t i = 0; i < 5; ++i) {
    const Value* element = nullptr;
    ASSERT_TRUE(list.Get(i, &element));
    EXPECT_TRUE(element->IsType(Value::TYPE_NULL));
  }
  EXPECT_FALSE(list.Get(6, nullptr));

  EXPECT_TRUE(list.Insert(6, Value::CreateIntegerValue(6)));
  EXPECT_EQ(7u, list.GetSize());
  std::unique_ptr<Value> refused(Value::CreateIntegerValue(8));
  EXPECT_FALSE(list.Insert(8, refused.get()));
  EXPECT_EQ(7u, list.GetSize());
  EXPECT_TRUE(list.Insert(0, Value::CreateStringValue("first")));
  std::string text;
  EXPECT_TRUE(list.GetString(0, &text));
  EXPECT_EQ("first", text);
}

TEST(ValuesTest, ListRemoveFindEraseAndAppendIfNotPresent) {
  ListValue list;
  list.AppendInteger(1);
  list.AppendInteger(2);
  list.AppendInteger(3);
  list.AppendInteger(2);

  FundamentalValue two(2);
  size_t index = 99;
  EXPECT_TRUE(list.Remove(two, &index));
  EXPECT_EQ(1u, index);
  EXPECT_EQ(3u, list.GetSize());
  EXPECT_NE(list.end(), list.Find(two));  // The later 2 is still there.

  std::unique_ptr<Value> removed;
  EXPECT_TRUE(list.Remove(0, &removed));
  int value = 0;
  EXPECT_TRUE(removed->GetAsInteger(&value) && value == 1);
  EXPECT_FALSE(list.Remove(5, &removed));

  ListValue::iterator next = list.Erase(list.begin(), &removed);
  EXPECT_TRUE(removed->GetAsInteger(&value) && value == 3);
  ASSERT_NE(list.end(), next);
  EXPECT_TRUE((*next)->Equals(&two));

  EXPECT_FALSE(list.AppendIfNotPresent(nullptr));
  EXPECT_FALSE(list.AppendIfNotPresent(Value::CreateIntegerValue(2)));
  EXPECT_TRUE(list.AppendIfNotPresent(Value::CreateDoubleValue(2.0)));
  EXPECT_EQ(2u, list.GetSize());

  FundamentalValue missing(7);
  EXPECT_FALSE(list.Remove(missing, &index));
  EXPECT_EQ(list.end(), list.Find(missing));
}

TEST(ValuesTest, SwapExchangesContents) {
  DictionaryValue a, b;
  a.SetInteger("a", 1);
  b.SetInteger("b", 2);
  a.Swap(&b);
  EXPECT_TRUE(a.HasKey("b"));
  EXPECT_TRUE(b.HasKey("a"));

  ListValue x, y;
  x.AppendInteger(1);
  x.Swap(&y);
  EXPECT_TRUE(x.empty());
  EXPECT_EQ(1u, y.GetSize());
}

TEST(ValuesTest, AppendStringsConvertsWideText) {
  ListValue list;
  list.AppendStrings(std::vector<string16>{L"\u00E9", L"x"});
  list.AppendStrings(std::vector<std::string>{"y"});
  std::string text;
  ASSERT_EQ(3u, list.GetSize());
  EXPECT_TRUE(list.GetString(0, &text));
  EXPECT_EQ("\xC3\xA9", text);
}

TEST(ValuesTest, StreamsAsPrettyJson) {
  DictionaryValue dict;
  dict.SetInteger("a", 1);
  std::ostringstream out;
  out << dict;
  EXPECT_EQ("{\r\n   \"a\": 1\r\n}\r\n", out.str());
}

}  // namespace
}  // namespace base
