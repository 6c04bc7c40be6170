#pragma once
// Dynamic: a component updated once per frame, running its bound script
// function first; DynamicsList: the one current list of them, walked by the
// application every frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "script/component.h"

class ScriptComponent;

class Dynamic : public Component {
public:
    // Registers with the current list; without one (or with a full one) the
    // object reports the error and stays unregistered.
    Dynamic();
    ~Dynamic() override;

    // Asks attaching neighbours for a script and binds the one supplied.
    void OnMessage(ComponentMessage* message) override;
    virtual void Update();

    int32_t scriptFunction = 0;
    ScriptComponent* scriptObject = nullptr;
    uint8_t active = 1;
};

class DynamicsList {
public:
    // Positions are counted with a 16-bit index.
    static constexpr std::size_t kMaxEntries = 65535;

    // The newest list becomes the current one.
    DynamicsList();
    ~DynamicsList();
    DynamicsList(const DynamicsList&) = delete;
    DynamicsList& operator=(const DynamicsList&) = delete;

    // False (after reporting) when the list is full.
    bool AddDynamic(Dynamic* dynamic);
    // Removes the first entry equal to `dynamic`; safe during UpdateDynamics.
    void RemoveDynamic(Dynamic* dynamic);
    // Each active entry in order: its script function, then Update. Entries
    // removed or added during the walk neither get skipped nor run twice.
    void UpdateDynamics();

    const std::vector<Dynamic*>& Entries() const { return entries_; }

private:
    std::vector<Dynamic*> entries_;
    std::size_t walk_ = 0;
    bool walking_ = false;
};

// The current list, null when none exists.
DynamicsList* GetDynamicsList();
