#pragma once
// The two request listeners of the network link. The MeteoListener posts
// setWeather for a weather request and never answers it itself. The
// ParaListener posts setPara, paraPrealloc or paraTarget (the first header that
// matches wins) and answers a para state request with the ParaReply block as it
// stands when the request arrives, before its own task has run.
//
// Headers come from section net (meteoHeader; paraHeader, preallocHeader,
// targetHeader), read once, at the first request each listener sees. A request
// too short to hold its whole record is not posted (and answered "DUMMYMSG").
#include <cstddef>
#include <cstdint>

#include "net/net_listener.h"

class MeteoListener : public NetListener {
public:
    explicit MeteoListener(NetThread* server = nullptr) : NetListener(server) {}
    ~MeteoListener() override { Leave(); }
    // HandleMeteoRequest: always false.
    bool OnRequest(const uint8_t* request, size_t size) override;

private:
    RequestHeader meteoHeader_;
};

class ParaListener : public NetListener {
public:
    explicit ParaListener(NetThread* server = nullptr) : NetListener(server) {}
    ~ParaListener() override { Leave(); }
    // HandleParaRequest: true for a para state request only.
    bool OnRequest(const uint8_t* request, size_t size) override;

private:
    void ReadHeaders();

    RequestHeader paraHeader_;
    RequestHeader preallocHeader_;
    RequestHeader targetHeader_;
};
