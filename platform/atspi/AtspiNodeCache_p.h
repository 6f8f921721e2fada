#pragma once

// Private to the AT-SPI backend: what is known of each element read so far, and the reads that
// fill it in. Each part of a node is asked once and kept; once a node's role is known, the
// reads its AX attributes need beyond the common batch are queued, and its children when the
// walk is likely to descend, so the next breadth-first level is read while the walk decides
// (spent from the reading's budget, see ReadAhead).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/atspi/AtspiApps_p.h"
#include "platform/atspi/AtspiChanges_p.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/atspi/AtspiReadAhead_p.h"
#include "platform/atspi/AtspiRequests_p.h"

namespace ovra::atspi::session {

// One part of an element as read off the bus: not asked yet, asked, its value or why not.
template <class T>
struct Cached {
    enum class State : std::uint8_t { unread, pending, done, failed };
    State state = State::unread;
    T value{};
    AXError error = AXError::cannotComplete;

    bool unread() const { return state == State::unread; }
    bool pending() const { return state == State::pending; }
    bool done() const { return state == State::done; }
    bool failed() const { return state == State::failed; }
    bool settled() const { return done() || failed(); }
    void markPending() { state = State::pending; }
    void set(T v) {
        value = std::move(v);
        state = State::done;
    }
    void failWith(AXError e) {
        error = e;
        state = State::failed;
    }
    // A request dropped by a new epoch leaves its part pending, and one that timed out got no
    // answer either (a paused app answers again once resumed): unread again, so the next
    // reading asks anew. Whether it was so.
    bool unpend() {
        if (!pending() && !(failed() && error == AXError::timeout)) {
            return false;
        }
        state = State::unread;
        return true;
    }
    // Why there is no value: the read failed, or never came back.
    std::optional<AXError> problem() const {
        if (done()) {
            return std::nullopt;
        }
        return failed() ? error : AXError::timeout;
    }
};

// Whether a frame is of something laid out: toolkits send sizes of -1 for what is not (and
// Gecko for a page it does not have yet). The size as sent, before any standardizing.
inline bool isLaidOut(const Rect& frame) {
    return frame.isFinite() && frame.size.width > 0 && frame.size.height > 0;
}

struct Node {
    std::string bus;
    std::string path;
    std::string parentKey;             // known from the child list it came from; "" when unknown
    std::string windowKey;             // the top-level window it lies in, when reached from one
    std::string documentKey;           // the page (a browser's outermost document) it lies in
    bool inDocument = false;           // below a web document
    bool childBasesWanted = false;     // its children's roles decide its own (a label)
    bool childFramesWanted = false;    // a document that shows only its children on screen
    bool propsLater = false;           // its name is asked once its role is known (see requestBase)
    bool readAhead = false;            // its children are read before the walk comes to them
    std::uint64_t reading = 0;         // the reading that last counted it against its budget
    std::uint64_t uncoverAwaited = 0;  // the reading that last waited for its content to show
    Cached<std::uint32_t> role;
    Cached<StateSet> states;
    Cached<reply::AccessibleProps> props;
    Cached<Rect> extents;
    Cached<std::vector<reply::ObjectRef>> children;
    Cached<ObjectAttributes> attributes;
    Cached<std::vector<std::string>> interfaces;
    Cached<std::vector<std::string>> actions;
    Cached<std::int32_t> characterCount;
    // The Value interface, one property per call: Chromium aborts when asked for all of them
    // at once on some elements, and a property one element cannot give leaves the others.
    Cached<double> minimum;
    Cached<double> maximum;
    Cached<double> current;
    Cached<std::string> text;
    // The elements a label names (a <label for>), asked only of labels that can be pressed.
    Cached<std::vector<reply::ObjectRef>> labelFor;
    bool followUpsIssued = false;
    std::optional<AXRole> mapped;  // kept once everything the mapping looks at is known

    std::string key() const { return bus + path; }
    // What of the Value interface came back; a failed or unread property is absent.
    RangeValues range() const {
        auto known = [](const Cached<double>& part) {
            return part.done() ? std::optional(part.value) : std::nullopt;
        };
        return RangeValues{known(minimum), known(maximum), known(current)};
    }
    bool baseSettled() const {
        return role.settled() && states.settled() && extents.settled() &&
               (props.settled() || propsSkipped());
    }
    // A text leaf whose name is read only when asked for.
    bool propsSkipped() const { return propsLater && props.unread() && is(ATSPI_ROLE_STATIC); }
    bool hasRole() const { return role.done(); }
    // The role is known and is this AT-SPI role.
    bool is(AtspiRole atspiRole) const {
        return role.done() && role.value == static_cast<std::uint32_t>(atspiRole);
    }
    std::int32_t childCount() const {
        return props.done() ? props.value.childCount.value_or(0) : 0;
    }
};

class NodeCache {
  public:
    NodeCache(RequestPipeline& requests, AppDirectory& apps) : requests_(requests), apps_(apps) {
        requests_.setReadAhead([this] { readAhead(); });
    }
    NodeCache(const NodeCache&) = delete;
    NodeCache& operator=(const NodeCache&) = delete;

    Node& node(const std::string& busName, const std::string& path);
    Node* find(const std::string& key);
    // The nodes of one app read so far.
    std::vector<const Node*> nodesOf(const std::string& busName) const;

    // --- Reads ---

    // Role, states, name, description, child count, parent and frame. Of a toolkit whose text
    // leaves act only through their ancestor (Chromium), the name is asked once the role is
    // known, and of a text leaf only when read (`withProps`, or asked for later): most of a
    // page's nodes are such leaves, and the walk needs only their role, states and frame.
    void requestBase(Node& n, bool urgent = false, bool withProps = true);
    void requestExtents(Node& n, bool urgent = false);
    // An element of a native toolkit that is not shown and takes no room (a page of a stack
    // that is not the one shown): nothing inside it is on screen either, so it is not read.
    bool shownNowhere(const Node& n) const;
    // Component.GetExtents in the coordinates the toolkit gives anyway.
    Message extentsCall(const Node& n) const;
    void requestAttributes(Node& n, bool urgent = false);
    void requestText(Node& n, bool urgent = false, std::int32_t characters = -1);
    // Its character count, then its text up to that count (Gecko answers a text asked past its
    // end with nothing).
    void requestCountedText(Node& n);
    // A node's child list is asked only where its count says the list is short; elsewhere the
    // children fail to read (and are read by index or by what lies on screen).
    void requestChildren(Node& n, bool urgent = false);
    static bool listable(const Node& n);
    // Once a node's role is known, queue what its AX attributes need beyond the common batch,
    // and its children when the walk is likely to descend.
    void followUps(Node& n);
    // Whether the follow-up reads an attribute needs have come back.
    bool followUpsSettled(const Node& n) const;
    // The children of a node whose list came in, as far as the count it gave allows: read at
    // once when they decide what it is, else read ahead.
    void readChildBases(Node& n);
    // Asks the frames of a node's children, as far as the count it gave allows.
    void readChildFrames(Node& n);
    // Waits for a node's base reads and the follow-ups they queued.
    void settle(Node& n, const std::function<bool(Node&)>& ready, bool withProps = true);
    // Name, description, child count and parent in one call; toolkits without GetAll are
    // asked property by property.
    void requestProps(Node& n, bool urgent);

    // The AT-SPI action names of an element, read now (they change as pages change).
    std::optional<std::vector<std::string>> freshActions(const std::string& busName,
                                                         const std::string& path, AXError& error);
    // Reads an element's actions (afresh when `fresh`) and waits for them; the node, unless the
    // app went away meanwhile.
    Node* actionsOf(const std::string& busName, const std::string& path, bool fresh);

    // --- What an element is ---

    AXRole axRole(Node& n);
    // Whether the element's role can act at all in its toolkit (unknown roles can), and a part of
    // a native cell does not act apart from its cell.
    bool mayAct(const Node& n) const;
    // A browser's web document that lies in no scroll pane: presented as a scroll area holding
    // the document's web area.
    bool presentsScrollArea(const Node& n) const;
    // A browser's outermost web document, a page: its content is listed as far as it lies on
    // screen.
    bool isPage(const Node& n) const;
    // A page read before its app had it to give (see Toolkit::pagesComeLate): its frame, states
    // and name came back as stand-ins.
    bool blankPage(const Node& n) const;
    // A blank page is waited for until its frame comes in (once per app: from then on the app
    // has every page to give), then read again; its content is read only after that.
    void awaitPage(Node& page);
    // A child of a shown window read as not showing, where the window's toolkit takes a covered
    // window's content off its tree (Toolkit::hidesContentWhenCovered) and no child of the
    // window shows: the children's states are read again until one shows, for a moment, once
    // per window and reading. A window that stays so is read as it is.
    void awaitUncovered(Node& n);
    bool isTopLevel(const Node& n) const;
    std::string topLevelKey(const Node& n) const;
    // The same, climbing the parents of a node read again without its ancestors; "" when that
    // fails.
    std::string foundTopLevelKey(Node& n);
    // Records what a child inherits from the parent whose child list it came from.
    void adopt(const Node& parent, Node& child);
    static std::vector<reply::ObjectRef> liveChildren(const Node& n);
    // The top-level windows of an application element, read with their states and names.
    std::vector<Node*> topLevels(Node& app);
    // A label holding a control (a check box inside its <label>): it becomes a plain group
    // that the walk enters, and lends its name to the control.
    bool wrapsControl(const Node& n) const;
    // A label that names a control elsewhere (<label for>): the control is what gets pressed,
    // the label only lends it its text.
    bool labelsElsewhere(Node& n);
    // The wrapping label of a control, when it has one.
    Node* wrappingLabel(const Node& n);
    // Whether the node has a name its toolkit gave it, not a stand-in (GTK 4's type names).
    bool namedByApp(const Node& n) const;
    // The button inside a button without a name that shows its label (see labellingChild), once
    // its children are read.
    Node* labellingButton(const Node& n);
    // A tab group whose pages are its tabs' children: the pages of the selected tabs, read.
    std::vector<std::pair<Node*, reply::ObjectRef>> selectedPages(Node& tabGroup);

    // --- Reading ahead ---

    // A reading begins: nothing of it is read or waits to be read ahead.
    void newReading();
    // The most nodes the reading reads in all; what is read ahead is spent from it.
    void budgetReadAhead(std::size_t nodes) { ahead_.setBudget(nodes); }
    // Whether the budget has room for one more node read ahead.
    bool budgetAllowsMore() const { return ahead_.allowsMore(); }
    // Sends the bases of the nodes waiting to be read ahead, while the pipeline has room.
    void readAhead();
    // Nodes the reading has read or asked for.
    std::size_t nodesThisReading() const { return ahead_.counted(); }

    // --- Forgetting ---

    // Requests dropped by a new epoch leave their parts pending: make them unread again so
    // the next reading asks anew.
    void resetPending();
    // These parts of these objects of an app are read again, with what depends on them.
    void makeStale(const std::string& busName,
                   const std::unordered_map<std::string, StaleParts>& objects);
    // Whether anything was forgotten.
    bool forgetApp(const std::string& busName);
    // Forgets the nodes of every app `keep` says no to; whether anything was forgotten.
    bool forgetAllBut(const std::function<bool(const std::string&)>& keep);
    void clear() {
        nodes_.clear();
        newReading();
    }
    // A bound on memory across many apps; whether anything was forgotten.
    bool bound(std::size_t most) {
        if (nodes_.size() <= most) {
            return false;
        }
        clear();
        return true;
    }

  private:
    template <class T, class Parse>
    void request(Node& n, Cached<T> Node::*part, Message call, Parse parse, bool urgent = false);
    void requestPropsOneByOne(Node& n, bool urgent);
    void requestActions(Node& n, bool urgent = false);
    void requestActionNames(Node& n, std::size_t count, bool urgent);
    void requestOwnAction(Node& n, bool urgent);
    // One property of the Value interface, by Properties.Get.
    void requestRangeProperty(Node& n, Cached<double> Node::*part, const char* property);
    void requestCharacterCount(Node& n);
    void requestLabelFor(Node& n, bool urgent);
    void forgetActions(const std::string& key);

    std::optional<std::uint32_t> parentRole(const Node& n) const;
    bool wrapSettled(const Node& n) const;
    // Whether the children a button without a name may take its label from are read.
    bool lenderSettled(const Node& n) const;
    const Node* findKnown(const std::string& key) const;

    RequestPipeline& requests_;
    AppDirectory& apps_;
    std::unordered_map<std::string, std::unique_ptr<Node>> nodes_;
    ReadAhead ahead_;
};

}  // namespace ovra::atspi::session
