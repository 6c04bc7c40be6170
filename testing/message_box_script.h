#pragma once
// Test hook: answers the modal boxes of the calling thread from a script and
// records what they showed.
#include <deque>
#include <string>
#include <vector>

namespace platform::testing {

struct ShownBox {
    std::string caption;
    std::string text;
};

// While alive, every box of this thread takes the next queued answer (or
// `fallback` when the queue is empty) and is recorded instead of shown.
class ScriptedMessageBoxes {
public:
    explicit ScriptedMessageBoxes(unsigned fallback = 11);
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    void Queue(unsigned answer) { answers_.push_back(answer); }
    const std::vector<ShownBox>& Shown() const { return shown_; }
    void Clear() { shown_.clear(); }

private:
    unsigned fallback_;
    std::deque<unsigned> answers_;
    std::vector<ShownBox> shown_;
};

} // namespace platform::testing
