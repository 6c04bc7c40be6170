#include "net/net_thread.h"

NetThread::~NetThread()
{
    StopAndJoin();
}

void NetThread::wake()
{
    NotifyWork();
}

void NetThread::Update()
{
    WaitForWork();
}

NetThread* GetNetThread()
{
    static NetThread* thread = [] {
        auto* made = new NetThread();
        made->SetName("NETTHREAD");
        return made;
    }();
    return thread;
}
