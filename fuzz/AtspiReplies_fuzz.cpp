// Replies as other apps could send them over the accessibility bus: a body of any D-Bus types,
// nested variants, arrays and structs included, with strings of any length and any characters,
// built mostly in the shapes the decoders expect and sometimes in others. Every decoder reads
// it, and what it decodes goes on into the AT-SPI value mapping as it would in a reading.

#include <atspi/atspi-constants.h>
#include <dbus/dbus.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/atspi/AtspiToolkit.h"
#include "platform/atspi/DBusConnection.h"

namespace {

using ovra::fuzz::check;
namespace reply = ovra::atspi::reply;

constexpr int kDeepest = 6;

// A D-Bus type: a basic code, or an array, struct, variant or dictionary of inner types.
struct Type {
    char code = 's';
    std::vector<Type> inner;

    std::string signature() const {
        switch (code) {
            case 'a':
                return "a" + inner[0].signature();
            case 'r': {
                std::string s = "(";
                for (const Type& t : inner) {
                    s += t.signature();
                }
                return s + ")";
            }
            case 'e':
                return "a{" + inner[0].signature() + inner[1].signature() + "}";
            default:
                return std::string(1, code);
        }
    }
};

Type basic(FuzzedDataProvider& in) {
    static constexpr char kBasic[] = {'y', 'b', 'n', 'q', 'i', 'u', 'x', 't', 'd', 's', 'o'};
    return {kBasic[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kBasic - 1)], {}};
}

// The shapes AT-SPI replies come in, so that most bodies reach past the decoders' type checks.
Type expected(FuzzedDataProvider& in) {
    const Type s{'s', {}};
    const Type o{'o', {}};
    const Type u{'u', {}};
    const Type i{'i', {}};
    const Type ref{'r', {s, o}};
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            return {'a', {ref}};  // children
        case 1:
            return {'a', {u}};  // state set
        case 2:
            return {'r', {i, i, i, i}};  // extents
        case 3:
            return {'a', {Type{'r', {s, s, s}}}};  // actions
        case 4:
            return {'e', {s, s}};  // attributes
        case 5:
            return {'e', {s, Type{'v', {}}}};  // properties
        case 6:
            return {'a', {Type{'r', {u, Type{'a', {ref}}}}}};  // relation set
        default:
            return {'v', {}};
    }
}

Type anyType(FuzzedDataProvider& in, int depth) {
    const int pick = in.ConsumeIntegralInRange(0, depth >= kDeepest ? 0 : 5);
    switch (pick) {
        case 1:
            return {'a', {anyType(in, depth + 1)}};
        case 2: {
            Type t{'r', {}};
            const int fields = in.ConsumeIntegralInRange(1, 4);
            for (int f = 0; f < fields; ++f) {
                t.inner.push_back(anyType(in, depth + 1));
            }
            return t;
        }
        case 3:
            return {'v', {}};
        case 4:
            return {'e', {basic(in), anyType(in, depth + 1)}};
        case 5:
            return expected(in);
        default:
            return basic(in);
    }
}

// A type libdbus can marshal: incoming messages are checked by libdbus before any decoder sees
// them, so a body must be a valid one (its signature at most 255 characters, containers nested
// 32 deep at most).
bool valid(const Type& type) {
    const std::string signature = type.signature();
    return signature.size() <= 255 && dbus_signature_validate_single(signature.c_str(), nullptr);
}

// Text as an app may send it: control characters, bidi overrides, combining marks, huge runs.
std::size_t textLeft = 0;  // bytes of long text one body may still take
std::string text(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0 && textLeft > 0) {
        std::string run(in.ConsumeIntegralInRange<std::size_t>(0, textLeft),
                        in.ConsumeBool() ? 'x' : '\n');
        textLeft -= run.size();
        return run;
    }
    std::string s = in.ConsumeRandomLengthString(64);
    // libdbus accepts valid UTF-8 only (it would abort on anything else): keep what is valid.
    return dbus_validate_utf8(s.c_str(), nullptr) ? s : std::string("\u202e\u0301\t;;");
}

void append(DBusMessageIter* iter, const Type& type, FuzzedDataProvider& in, int depth);

// libdbus refuses only what the harness got wrong (or when memory runs out).
void opened(DBusMessageIter* iter, int type, const char* signature, DBusMessageIter* inner) {
    check(dbus_message_iter_open_container(iter, type, signature, inner), "a container opens");
}
void closed(DBusMessageIter* iter, DBusMessageIter* inner) {
    check(dbus_message_iter_close_container(iter, inner), "a container closes");
}
void put(DBusMessageIter* iter, int type, const void* value) {
    check(dbus_message_iter_append_basic(iter, type, value), "a value is appended");
}

void appendBasic(DBusMessageIter* iter, char code, FuzzedDataProvider& in) {
    switch (code) {
        case 'y': {
            const unsigned char v = in.ConsumeIntegral<unsigned char>();
            put(iter, DBUS_TYPE_BYTE, &v);
            break;
        }
        case 'b': {
            const dbus_bool_t v = in.ConsumeBool() ? TRUE : FALSE;
            put(iter, DBUS_TYPE_BOOLEAN, &v);
            break;
        }
        case 'n': {
            const dbus_int16_t v = in.ConsumeIntegral<dbus_int16_t>();
            put(iter, DBUS_TYPE_INT16, &v);
            break;
        }
        case 'q': {
            const dbus_uint16_t v = in.ConsumeIntegral<dbus_uint16_t>();
            put(iter, DBUS_TYPE_UINT16, &v);
            break;
        }
        case 'i': {
            const dbus_int32_t v = in.ConsumeIntegral<dbus_int32_t>();
            put(iter, DBUS_TYPE_INT32, &v);
            break;
        }
        case 'u': {
            const dbus_uint32_t v = in.ConsumeIntegral<dbus_uint32_t>();
            put(iter, DBUS_TYPE_UINT32, &v);
            break;
        }
        case 'x': {
            const dbus_int64_t v = in.ConsumeIntegral<dbus_int64_t>();
            put(iter, DBUS_TYPE_INT64, &v);
            break;
        }
        case 't': {
            const dbus_uint64_t v = in.ConsumeIntegral<dbus_uint64_t>();
            put(iter, DBUS_TYPE_UINT64, &v);
            break;
        }
        case 'd': {
            static constexpr double kOdd[] = {std::numeric_limits<double>::quiet_NaN(),
                                              std::numeric_limits<double>::infinity(),
                                              -std::numeric_limits<double>::infinity(),
                                              1e308,
                                              -0.0,
                                              4e9};
            const double v = in.ConsumeBool() ? kOdd[in.ConsumeIntegralInRange<std::size_t>(0, 5)]
                                              : in.ConsumeFloatingPoint<double>();
            put(iter, DBUS_TYPE_DOUBLE, &v);
            break;
        }
        case 'o': {
            std::string path = "/" + in.ConsumeRandomLengthString(24);
            if (!dbus_validate_path(path.c_str(), nullptr)) {
                path = in.ConsumeBool() ? "/org/a11y/atspi/null" : "/org/a11y/atspi/accessible/1";
            }
            const char* p = path.c_str();
            put(iter, DBUS_TYPE_OBJECT_PATH, &p);
            break;
        }
        default: {
            const std::string s = text(in);
            const char* p = s.c_str();
            put(iter, DBUS_TYPE_STRING, &p);
            break;
        }
    }
}

void append(DBusMessageIter* iter, const Type& type, FuzzedDataProvider& in, int depth) {
    DBusMessageIter inner;
    switch (type.code) {
        case 'a':
        case 'e': {
            const std::string element = type.code == 'a' ? type.inner[0].signature()
                                                         : "{" + type.inner[0].signature() +
                                                               type.inner[1].signature() + "}";
            opened(iter, DBUS_TYPE_ARRAY, element.c_str(), &inner);
            const int count = in.ConsumeIntegralInRange(0, 6);
            for (int n = 0; n < count && in.remaining_bytes() > 0; ++n) {
                if (type.code == 'a') {
                    append(&inner, type.inner[0], in, depth + 1);
                } else {
                    DBusMessageIter entry;
                    opened(&inner, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
                    append(&entry, type.inner[0], in, depth + 1);
                    append(&entry, type.inner[1], in, depth + 1);
                    closed(&inner, &entry);
                }
            }
            closed(iter, &inner);
            break;
        }
        case 'r':
            opened(iter, DBUS_TYPE_STRUCT, nullptr, &inner);
            for (const Type& field : type.inner) {
                append(&inner, field, in, depth + 1);
            }
            closed(iter, &inner);
            break;
        case 'v': {
            Type held = anyType(in, depth + 1);
            if (!valid(held)) {
                held = basic(in);
            }
            opened(iter, DBUS_TYPE_VARIANT, held.signature().c_str(), &inner);
            append(&inner, held, in, depth + 1);
            closed(iter, &inner);
            break;
        }
        default:
            appendBasic(iter, type.code, in);
    }
}

struct Unref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::unique_ptr<DBusMessage, Unref> message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
    DBusMessageIter body;
    dbus_message_iter_init_append(message.get(), &body);
    textLeft = 1 << 20;
    std::size_t signature = 0;  // the whole body's signature is 255 characters at most too
    const int arguments = in.ConsumeIntegralInRange(0, 3);
    for (int a = 0; a < arguments; ++a) {
        const Type type = in.ConsumeBool() ? expected(in) : anyType(in, 0);
        if (valid(type) && signature + type.signature().size() <= 255) {
            signature += type.signature().size();
            append(&body, type, in, 0);
        }
    }
    // As it would arrive: marshalled, then checked and read back by libdbus.
    dbus_message_set_serial(message.get(), 2);
    dbus_message_set_reply_serial(message.get(), 1);
    char* wire = nullptr;
    int length = 0;
    check(dbus_message_marshal(message.get(), &wire, &length), "a body marshals");
    std::unique_ptr<DBusMessage, Unref> arrived(dbus_message_demarshal(wire, length, nullptr));
    dbus_free(wire);
    check(arrived != nullptr, "a marshalled body reads back");
    DBusMessage* m = arrived.get();

    // Every decoder reads every body; what it decodes goes on as a reading would take it.
    (void)reply::u32(m);
    (void)reply::boolean(m);
    (void)reply::variantBool(m);
    (void)reply::objectRef(m);
    (void)reply::objectRefs(m);
    (void)reply::stringArray(m);
    if (auto extents = reply::i32Struct(m)) {
        check(extents->size() <= 4, "extents have four numbers at most");
    }
    if (auto number = reply::variantNumber(m)) {
        const auto value = ovra::atspi::rangeValue(ATSPI_ROLE_SCROLL_BAR, {0.0, *number, *number});
        check(!value || (*value >= 0 && *value <= 1), "a scroll bar's value lies in 0...1");
    }
    if (auto words = reply::u32Array(m); words && !words->empty()) {
        const auto states =
            ovra::atspi::StateSet::fromWords((*words)[0], words->size() > 1 ? (*words)[1] : 0);
        ovra::atspi::RoleFacts facts;
        facts.role = reply::u32(m).value_or((*words)[0] % 200);
        facts.states = states;
        check(!ovra::atspi::mapRole(facts).role.empty(), "every role maps to a role");
        (void)ovra::atspi::toggleValue(facts.role, states);
    }
    if (auto entries = reply::stringMap(m)) {
        ovra::atspi::ObjectAttributes attributes(entries->begin(), entries->end());
        ovra::atspi::RoleFacts facts;
        facts.role = ATSPI_ROLE_ENTRY;
        facts.attributes = attributes;
        (void)ovra::atspi::mapRole(facts);
        if (auto placeholder = ovra::atspi::placeholder(attributes)) {
            check(!placeholder->empty(), "a placeholder says something");
        }
    }
    if (auto names = reply::actionNames(m)) {
        const auto actions = ovra::atspi::axActions(*names);
        for (const std::string& action : actions) {
            const auto index = ovra::atspi::atspiActionFor(action, *names);
            check(!index || (*index >= 0 && static_cast<std::size_t>(*index) < names->size()),
                  "an action's index is one of the names");
        }
    }
    if (auto text = reply::string(m)) {
        check(text->size() <= reply::kMostStringBytes, "no text past the bound is taken in");
    }
    if (auto name = reply::variantString(m)) {
        const auto toolkit = ovra::atspi::toolkitOf(*name, reply::string(m).value_or(""));
        check(toolkit.name == *name, "a toolkit keeps its name");
        (void)ovra::atspi::isTypeName(*name, false);
        if (auto once = ovra::atspi::undoubled(*name)) {
            check(once->size() < name->size(), "a name said once is shorter");
        }
        (void)ovra::atspi::eventReach(*name, "StateChanged", *name);
    }
    if (auto props = reply::accessibleProps(m)) {
        check(!props->childCount || *props->childCount >= 0, "a child count is never negative");
    }
    const auto relations = reply::relationTargets(m, ATSPI_RELATION_LABELLED_BY);
    (void)relations;
    return 0;
}
