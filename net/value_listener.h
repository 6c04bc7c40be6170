#pragma once
// ValueListener: something the remote scene hands one float to when it enters
// mode 2 (what it does with it is its own business).
class ValueListener {
public:
    virtual void OnValue(float value) = 0;

protected:
    ~ValueListener() = default;
};
