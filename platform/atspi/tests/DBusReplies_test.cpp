// Replies from other apps are untrusted: every reader must take what is well formed and refuse
// the rest without crashing.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/atspi/DBusConnection.h"

namespace ovra::atspi {
namespace {

using Fill = std::function<void(DBusMessageIter*)>;

// A method return built by `fill`, as an app would send it.
Message replyWith(const Fill& fill) {
    Message message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
    DBusMessageIter iter;
    dbus_message_iter_init_append(message.get(), &iter);
    fill(&iter);
    return message;
}

// A container of `type` (with the signature of its content) filled by `fill`.
void within(DBusMessageIter* iter, int type, const char* signature, const Fill& fill) {
    DBusMessageIter inner;
    dbus_message_iter_open_container(iter, type, signature, &inner);
    fill(&inner);
    dbus_message_iter_close_container(iter, &inner);
}

template <class T>
void append(DBusMessageIter* iter, int type, T value) {
    dbus_message_iter_append_basic(iter, type, &value);
}

void appendObjectRef(DBusMessageIter* iter, const char* bus, const char* path) {
    within(iter, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter* entry) {
        append(entry, DBUS_TYPE_STRING, bus);
        append(entry, DBUS_TYPE_OBJECT_PATH, path);
    });
}

// One entry of a property map a{sv}; `fill` writes the variant's value.
void appendProperty(DBusMessageIter* dict, const char* key, const char* signature,
                    const Fill& fill) {
    within(dict, DBUS_TYPE_DICT_ENTRY, nullptr, [&](DBusMessageIter* entry) {
        append(entry, DBUS_TYPE_STRING, key);
        within(entry, DBUS_TYPE_VARIANT, signature, fill);
    });
}

template <class T>
void appendProperty(DBusMessageIter* dict, const char* key, int type, const char* signature,
                    T value) {
    appendProperty(dict, key, signature, [&](DBusMessageIter* v) { append(v, type, value); });
}

Message propertyMap(const Fill& fill) {
    return replyWith([&](DBusMessageIter* iter) { within(iter, DBUS_TYPE_ARRAY, "{sv}", fill); });
}

TEST(AccessibleProps, ReadsWhatIsWellFormedAndDropsTheRest) {
    auto message = propertyMap([](DBusMessageIter* dict) {
        appendProperty(dict, "Name", DBUS_TYPE_STRING, "s", "Accept all");
        appendProperty(dict, "Description", DBUS_TYPE_STRING, "s", "");
        appendProperty(dict, "ChildCount", DBUS_TYPE_INT32, "i", dbus_int32_t{3});
        appendProperty(dict, "Locale", DBUS_TYPE_STRING, "s", "en_GB");
        appendProperty(dict, "Parent", "(so)", [](DBusMessageIter* v) {
            appendObjectRef(v, ":1.42", "/org/a11y/atspi/accessible/7");
        });
    });
    auto props = reply::accessibleProps(message.get());
    ASSERT_TRUE(props.has_value());
    EXPECT_EQ(props->name, "Accept all");
    EXPECT_EQ(props->description, "");
    EXPECT_EQ(props->childCount, 3);
    ASSERT_TRUE(props->parent.has_value());
    EXPECT_EQ(props->parent->bus, ":1.42");
    EXPECT_EQ(props->parent->path, "/org/a11y/atspi/accessible/7");

    // Values of the wrong kind or range are dropped one by one.
    auto wrong = propertyMap([](DBusMessageIter* dict) {
        appendProperty(dict, "Name", DBUS_TYPE_INT32, "i", dbus_int32_t{5});
        appendProperty(dict, "ChildCount", DBUS_TYPE_INT32, "i", dbus_int32_t{-4});
        appendProperty(dict, "ChildCount", DBUS_TYPE_UINT64, "t", dbus_uint64_t{1} << 40);
        appendProperty(dict, "ChildCount", DBUS_TYPE_DOUBLE, "d", std::nan(""));
    });
    props = reply::accessibleProps(wrong.get());
    ASSERT_TRUE(props.has_value());
    EXPECT_EQ(props->name, std::nullopt);
    EXPECT_EQ(props->childCount, std::nullopt);

    // A count past what an int holds (a spreadsheet's table) is as many as it holds: a count
    // taken as unknown would have the whole list asked for.
    auto huge = propertyMap([](DBusMessageIter* dict) {
        appendProperty(dict, "ChildCount", DBUS_TYPE_UINT64, "t", dbus_uint64_t{1} << 40);
    });
    EXPECT_EQ(reply::accessibleProps(huge.get())->childCount, 2'147'483'647);

    // Not a property map at all.
    auto surprise =
        replyWith([](DBusMessageIter* iter) { append(iter, DBUS_TYPE_STRING, "surprise"); });
    EXPECT_EQ(reply::accessibleProps(surprise.get()), std::nullopt);
    EXPECT_EQ(reply::accessibleProps(nullptr), std::nullopt);
}

TEST(Replies, NoStringIsTakenInPastItsBound) {
    // Two-byte characters, so that the bound falls inside one: it is cut before it.
    std::string accents;
    for (int i = 0; i < 5000; ++i) {
        accents += "\xC3\xA9";
    }
    auto name =
        replyWith([&](DBusMessageIter* iter) { append(iter, DBUS_TYPE_STRING, accents.c_str()); });
    const auto cut = reply::string(name.get());
    ASSERT_TRUE(cut.has_value());
    EXPECT_LE(cut->size(), reply::kMostStringBytes);
    EXPECT_EQ(cut->size() % 2, 0U);
    EXPECT_TRUE(std::string_view(accents).starts_with(*cut));

    // A path cut short would name another object: it is refused.
    std::string path = "/org/a11y/atspi/accessible/";
    path += std::string(reply::kMostStringBytes, 'a');
    auto longPath =
        replyWith([&](DBusMessageIter* iter) { appendObjectRef(iter, ":1.9", path.c_str()); });
    EXPECT_EQ(reply::objectRef(longPath.get()), std::nullopt);
}

TEST(Replies, StructsArraysAndVariantsOfTheWrongShapeAreRefused) {
    auto extents = replyWith([](DBusMessageIter* iter) {
        within(iter, DBUS_TYPE_STRUCT, nullptr, [](DBusMessageIter* s) {
            for (dbus_int32_t v : {10, 20, 300, 40}) {
                append(s, DBUS_TYPE_INT32, v);
            }
        });
    });
    EXPECT_EQ(reply::i32Struct(extents.get()), (std::vector<std::int32_t>{10, 20, 300, 40}));
    auto flat = replyWith([](DBusMessageIter* iter) { append(iter, DBUS_TYPE_INT32, 1); });
    EXPECT_EQ(reply::i32Struct(flat.get()), std::nullopt);

    auto children = replyWith([](DBusMessageIter* iter) {
        within(iter, DBUS_TYPE_ARRAY, "(so)", [](DBusMessageIter* array) {
            appendObjectRef(array, ":1.9", "/org/a11y/atspi/accessible/1");
            appendObjectRef(array, ":1.9", "/org/a11y/atspi/null");
        });
    });
    auto refs = reply::objectRefs(children.get());
    ASSERT_TRUE(refs.has_value());
    ASSERT_EQ(refs->size(), 2U);  // the null reference is the reader's to skip
    EXPECT_EQ((*refs)[0].path, "/org/a11y/atspi/accessible/1");
    // A list far longer than its parent's count is taken in only as far as it is wanted.
    auto first = reply::objectRefs(children.get(), 1);
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(first->size(), 1U);
    EXPECT_EQ(first->front().path, "/org/a11y/atspi/accessible/1");
    EXPECT_EQ(reply::objectRefs(children.get(), 0), std::vector<reply::ObjectRef>{});
    auto strings = replyWith([](DBusMessageIter* iter) {
        within(iter, DBUS_TYPE_ARRAY, "s",
               [](DBusMessageIter* array) { append(array, DBUS_TYPE_STRING, "x"); });
    });
    EXPECT_EQ(reply::objectRefs(strings.get()), std::nullopt);
    EXPECT_EQ(reply::stringArray(strings.get()), std::vector<std::string>{"x"});

    auto variant = [](int type, const char* signature, auto value) {
        return replyWith([&](DBusMessageIter* iter) {
            within(iter, DBUS_TYPE_VARIANT, signature,
                   [&](DBusMessageIter* v) { append(v, type, value); });
        });
    };
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_INT32, "i", dbus_int32_t{-7}).get()), -7.0);
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_DOUBLE, "d", 0.5).get()), 0.5);
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_STRING, "s", "12").get()), std::nullopt);
    EXPECT_EQ(reply::variantBool(variant(DBUS_TYPE_BOOLEAN, "b", dbus_bool_t{1}).get()), true);
    EXPECT_EQ(reply::variantBool(variant(DBUS_TYPE_INT32, "i", dbus_int32_t{1}).get()),
              std::nullopt);
}

TEST(Replies, ActionsAndRelations) {
    auto actions = replyWith([](DBusMessageIter* iter) {
        within(iter, DBUS_TYPE_ARRAY, "(sss)", [](DBusMessageIter* array) {
            for (const char* name : {"click", ""}) {
                within(array, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter* entry) {
                    for (const char* text : {name, "description", "<Alt>k"}) {
                        append(entry, DBUS_TYPE_STRING, text);
                    }
                });
            }
        });
    });
    EXPECT_EQ(reply::actionNames(actions.get()), (std::vector<std::string>{"click", ""}));

    // a(ua(so)): relation type and its targets.
    auto relations = replyWith([](DBusMessageIter* iter) {
        within(iter, DBUS_TYPE_ARRAY, "(ua(so))", [](DBusMessageIter* array) {
            for (dbus_uint32_t type : {7U, 2U}) {
                within(array, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter* relation) {
                    append(relation, DBUS_TYPE_UINT32, type);
                    within(relation, DBUS_TYPE_ARRAY, "(so)", [&](DBusMessageIter* targets) {
                        appendObjectRef(targets, ":1.3", type == 2 ? "/label" : "/other");
                    });
                });
            }
        });
    });
    auto labelledBy = reply::relationTargets(relations.get(), 2);
    ASSERT_TRUE(labelledBy.has_value());
    ASSERT_EQ(labelledBy->size(), 1U);
    EXPECT_EQ(labelledBy->front().path, "/label");
    EXPECT_EQ(reply::relationTargets(relations.get(), 99), std::vector<reply::ObjectRef>{});
}

TEST(MethodCall, RefusesNamesAndPathsAnAppMadeUp) {
    // libdbus aborts the process on an invalid path or bus name: these come from other apps.
    const std::pair<const char*, const char*> refused[] = {
        {":1.5", "not a path"}, {":1.5", "/a//b"}, {"", "/x"}, {"bad name!", "/x"}};
    for (const auto& [bus, path] : refused) {
        EXPECT_EQ(methodCall(bus, path, "org.a11y.atspi.Accessible", "GetRole"), nullptr) << path;
    }
    EXPECT_NE(
        methodCall(":1.5", "/org/a11y/atspi/accessible/1", "org.a11y.atspi.Accessible", "GetRole"),
        nullptr);
}

}  // namespace
}  // namespace ovra::atspi
