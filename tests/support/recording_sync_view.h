#pragma once
// A SyncView that records every call in order, for tests of the package
// synchronisation (native and under Wine). Header-only so that both test
// binaries can use it.
#include <functional>
#include <string>
#include <vector>

#include "sync/sync_view.h"

namespace klv::test {

class RecordingSyncView : public SyncView {
public:
    struct Event {
        std::string kind;  // "visible", "position", "text", "tooltip", "actions", "pump", "box"
        SyncProgressBar bar = SyncProgressBar::Download;
        std::string text;  // text, tooltip, box text; "1"/"0" for visible and actions
        int number = 0;    // position
    };

    void SetProgressVisible(SyncProgressBar bar, bool visible) override {
        events.push_back({"visible", bar, visible ? "1" : "0", 0});
    }
    void SetProgressPosition(SyncProgressBar bar, int position) override {
        events.push_back({"position", bar, "", position});
    }
    void SetProgressText(SyncProgressBar bar, const std::string& text) override {
        events.push_back({"text", bar, text, 0});
    }
    void SetProgressTooltip(SyncProgressBar bar, const std::string& text) override {
        events.push_back({"tooltip", bar, text, 0});
    }
    void SetActionsEnabled(bool enabled) override { events.push_back({"actions", {}, enabled ? "1" : "0", 0}); }
    void ProcessMessages() override {
        events.push_back({"pump", {}, "", 0});
        if (onPump) onPump();
    }
    void ShowWarningBox(const std::string& text, const std::string& caption) override {
        events.push_back({"box", {}, text, 0});
        boxCaptions.push_back(caption);
    }

    // The texts of one kind of event, in order.
    std::vector<std::string> Texts(const std::string& kind) const {
        std::vector<std::string> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e.text);
        return out;
    }
    std::vector<int> Positions() const {
        std::vector<int> out;
        for (const Event& e : events)
            if (e.kind == "position") out.push_back(e.number);
        return out;
    }
    // The last value given for a kind, "" when there was none.
    std::string Last(const std::string& kind) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == kind) return it->text;
        return "";
    }

    std::vector<Event> events;
    std::vector<std::string> boxCaptions;
    // Runs inside ProcessMessages, as a window message would.
    std::function<void()> onPump;
};

}  // namespace klv::test
