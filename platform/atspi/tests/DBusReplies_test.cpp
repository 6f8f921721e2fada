// Replies from other apps are untrusted: every reader must take what is well formed and refuse
// the rest without crashing.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/atspi/DBusConnection.h"

namespace ovra::atspi {
namespace {

// A method return built by `fill`, as an app would send it.
Message replyWith(const std::function<void(DBusMessageIter*)>& fill) {
    Message message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
    DBusMessageIter iter;
    dbus_message_iter_init_append(message.get(), &iter);
    fill(&iter);
    return message;
}

void appendString(DBusMessageIter* iter, const char* text) {
    dbus_message_iter_append_basic(iter, DBUS_TYPE_STRING, &text);
}

void appendObjectRef(DBusMessageIter* iter, const char* bus, const char* path) {
    DBusMessageIter entry;
    dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT, nullptr, &entry);
    appendString(&entry, bus);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_OBJECT_PATH, &path);
    dbus_message_iter_close_container(iter, &entry);
}

template <class T>
void appendProperty(DBusMessageIter* dict, const char* key, int type, const char* signature,
                    T value) {
    DBusMessageIter entry, variant;
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    appendString(&entry, key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dict, &entry);
}

// A property map a{sv} filled by `fill`.
Message propertyMap(const std::function<void(DBusMessageIter*)>& fill) {
    return replyWith([&](DBusMessageIter* iter) {
        DBusMessageIter dict;
        dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "{sv}", &dict);
        fill(&dict);
        dbus_message_iter_close_container(iter, &dict);
    });
}

TEST(AccessibleProps, ReadsWhatIsWellFormedAndDropsTheRest) {
    auto message = propertyMap([](DBusMessageIter* dict) {
        appendProperty(dict, "Name", DBUS_TYPE_STRING, "s", "Accept all");
        appendProperty(dict, "Description", DBUS_TYPE_STRING, "s", "");
        appendProperty(dict, "ChildCount", DBUS_TYPE_INT32, "i", dbus_int32_t{3});
        appendProperty(dict, "Locale", DBUS_TYPE_STRING, "s", "en_GB");
        DBusMessageIter entry, variant;
        dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        appendString(&entry, "Parent");
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "(so)", &variant);
        appendObjectRef(&variant, ":1.42", "/org/a11y/atspi/accessible/7");
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(dict, &entry);
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

    // Not a property map at all.
    auto surprise = replyWith([](DBusMessageIter* iter) { appendString(iter, "surprise"); });
    EXPECT_EQ(reply::accessibleProps(surprise.get()), std::nullopt);
    EXPECT_EQ(reply::accessibleProps(nullptr), std::nullopt);
}

TEST(Replies, ExtentsNeedFourIntegers) {
    auto extents = replyWith([](DBusMessageIter* iter) {
        DBusMessageIter s;
        dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT, nullptr, &s);
        for (dbus_int32_t v : {10, 20, 300, 40}) {
            dbus_message_iter_append_basic(&s, DBUS_TYPE_INT32, &v);
        }
        dbus_message_iter_close_container(iter, &s);
    });
    EXPECT_EQ(reply::i32Struct(extents.get()), (std::vector<std::int32_t>{10, 20, 300, 40}));
    auto flat = replyWith([](DBusMessageIter* iter) {
        dbus_int32_t v = 1;
        dbus_message_iter_append_basic(iter, DBUS_TYPE_INT32, &v);
    });
    EXPECT_EQ(reply::i32Struct(flat.get()), std::nullopt);
}

TEST(Replies, ChildrenSkipMalformedEntries) {
    auto children = replyWith([](DBusMessageIter* iter) {
        DBusMessageIter array;
        dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "(so)", &array);
        appendObjectRef(&array, ":1.9", "/org/a11y/atspi/accessible/1");
        appendObjectRef(&array, ":1.9", "/org/a11y/atspi/null");
        dbus_message_iter_close_container(iter, &array);
    });
    auto refs = reply::objectRefs(children.get());
    ASSERT_TRUE(refs.has_value());
    ASSERT_EQ(refs->size(), 2U);  // the null reference is the reader's to skip
    EXPECT_EQ((*refs)[0].path, "/org/a11y/atspi/accessible/1");

    auto strings = replyWith([](DBusMessageIter* iter) {
        DBusMessageIter array;
        dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "s", &array);
        appendString(&array, "x");
        dbus_message_iter_close_container(iter, &array);
    });
    EXPECT_EQ(reply::objectRefs(strings.get()), std::nullopt);
    EXPECT_EQ(reply::stringArray(strings.get()), std::vector<std::string>{"x"});
}

TEST(Replies, ActionsAndRelations) {
    auto actions = replyWith([](DBusMessageIter* iter) {
        DBusMessageIter array;
        dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "(sss)", &array);
        for (const char* name : {"click", ""}) {
            DBusMessageIter entry;
            dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT, nullptr, &entry);
            appendString(&entry, name);
            appendString(&entry, "description");
            appendString(&entry, "<Alt>k");
            dbus_message_iter_close_container(&array, &entry);
        }
        dbus_message_iter_close_container(iter, &array);
    });
    EXPECT_EQ(reply::actionNames(actions.get()), (std::vector<std::string>{"click", ""}));

    // a(ua(so)): relation type and its targets.
    auto relations = replyWith([](DBusMessageIter* iter) {
        DBusMessageIter array;
        dbus_message_iter_open_container(iter, DBUS_TYPE_ARRAY, "(ua(so))", &array);
        for (dbus_uint32_t type : {7U, 2U}) {
            DBusMessageIter relation, targets;
            dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT, nullptr, &relation);
            dbus_message_iter_append_basic(&relation, DBUS_TYPE_UINT32, &type);
            dbus_message_iter_open_container(&relation, DBUS_TYPE_ARRAY, "(so)", &targets);
            appendObjectRef(&targets, ":1.3", type == 2 ? "/label" : "/other");
            dbus_message_iter_close_container(&relation, &targets);
            dbus_message_iter_close_container(&array, &relation);
        }
        dbus_message_iter_close_container(iter, &array);
    });
    auto labelledBy = reply::relationTargets(relations.get(), 2);
    ASSERT_TRUE(labelledBy.has_value());
    ASSERT_EQ(labelledBy->size(), 1U);
    EXPECT_EQ(labelledBy->front().path, "/label");
    EXPECT_EQ(reply::relationTargets(relations.get(), 99), std::vector<reply::ObjectRef>{});
}

TEST(Replies, VariantNumbersAcceptIntegersAndDoubles) {
    auto variant = [](int type, const char* signature, auto value) {
        return replyWith([&](DBusMessageIter* iter) {
            DBusMessageIter v;
            dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT, signature, &v);
            dbus_message_iter_append_basic(&v, type, &value);
            dbus_message_iter_close_container(iter, &v);
        });
    };
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_INT32, "i", dbus_int32_t{-7}).get()), -7.0);
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_DOUBLE, "d", 0.5).get()), 0.5);
    EXPECT_EQ(reply::variantNumber(variant(DBUS_TYPE_STRING, "s", "12").get()), std::nullopt);
    EXPECT_EQ(reply::variantBool(variant(DBUS_TYPE_BOOLEAN, "b", dbus_bool_t{1}).get()), true);
    EXPECT_EQ(reply::variantBool(variant(DBUS_TYPE_INT32, "i", dbus_int32_t{1}).get()),
              std::nullopt);
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
