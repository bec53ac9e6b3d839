// Events, the application's event target and its handler chain.
#include "platform/carbon/CarbonEvents.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace platform::carbon {

struct OpaqueEventRef {
    struct Parameter {
        EventParamName name;
        EventParamType type;
        std::vector<uint8_t> data;
    };
    UInt32 eventClass;
    UInt32 kind;
    std::vector<Parameter> parameters;
};

struct OpaqueEventHandlerRef {
    EventTargetRef target;
    EventHandlerUPP handler;
    std::vector<EventTypeSpec> types;
    void* userData;
    bool removed = false;

    bool Handles(EventRef event) const {
        return std::any_of(types.begin(), types.end(), [event](const EventTypeSpec& t) {
            return t.eventClass == event->eventClass && t.eventKind == event->kind;
        });
    }
};

struct OpaqueEventTargetRef {
    std::vector<std::shared_ptr<OpaqueEventHandlerRef>> handlers; // oldest first
};

// One step of a chain: the handlers that were installed for the event when it was sent,
// newest first, and the one running now. Handlers removed since are skipped.
struct OpaqueEventHandlerCallRef {
    std::shared_ptr<const std::vector<std::shared_ptr<OpaqueEventHandlerRef>>> chain;
    size_t current;
};

namespace {

OSStatus RunFrom(const OpaqueEventHandlerCallRef& from, size_t index, EventRef event) {
    for (; index < from.chain->size(); ++index) {
        const OpaqueEventHandlerRef& handler = *(*from.chain)[index];
        if (handler.removed) continue;
        OpaqueEventHandlerCallRef call{from.chain, index};
        return handler.handler(&call, event, handler.userData);
    }
    return eventNotHandledErr;
}

} // namespace

OSStatus CreateEvent(void*, UInt32 inClassID, UInt32 inKind, double, OptionBits,
                     EventRef* outEvent) {
    if (!outEvent) return paramErr;
    *outEvent = new OpaqueEventRef{inClassID, inKind, {}};
    return noErr;
}

void ReleaseEvent(EventRef inEvent) {
    delete inEvent;
}

OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType,
                           ByteCount inSize, const void* inDataPtr) {
    if (!inEvent || (inSize && !inDataPtr)) return paramErr;
    const auto* bytes = static_cast<const uint8_t*>(inDataPtr);
    std::vector<uint8_t> data(bytes, bytes + inSize);
    for (auto& parameter : inEvent->parameters)
        if (parameter.name == inName) {
            parameter.type = inType;
            parameter.data = std::move(data);
            return noErr;
        }
    inEvent->parameters.push_back({inName, inType, std::move(data)});
    return noErr;
}

OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType* outActualType, ByteCount inBufferSize,
                           ByteCount* outActualSize, void* outData) {
    if (!inEvent) return paramErr;
    for (const auto& parameter : inEvent->parameters) {
        if (parameter.name != inName || parameter.type != inDesiredType) continue;
        if (outData && inBufferSize < parameter.data.size()) return paramErr;
        if (outData && !parameter.data.empty())
            std::memcpy(outData, parameter.data.data(), parameter.data.size());
        if (outActualType) *outActualType = parameter.type;
        if (outActualSize) *outActualSize = parameter.data.size();
        return noErr;
    }
    return eventParameterNotFoundErr;
}

EventTargetRef GetApplicationEventTarget() {
    static OpaqueEventTargetRef sApplication;
    return &sApplication;
}

OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler,
                             ItemCount inNumTypes, const EventTypeSpec* inList, void* inUserData,
                             EventHandlerRef* outRef) {
    if (!inTarget || !inHandler || (inNumTypes && !inList)) return paramErr;
    auto handler = std::make_shared<OpaqueEventHandlerRef>(OpaqueEventHandlerRef{
        inTarget, inHandler, std::vector<EventTypeSpec>(inList, inList + inNumTypes), inUserData});
    inTarget->handlers.push_back(handler);
    if (outRef) *outRef = handler.get();
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef) {
    auto& handlers = GetApplicationEventTarget()->handlers;
    const auto found =
        std::find_if(handlers.begin(), handlers.end(),
                     [inHandlerRef](const auto& h) { return h.get() == inHandlerRef; });
    if (!inHandlerRef || found == handlers.end()) return paramErr;
    (*found)->removed = true; // a chain running now may still hold it
    handlers.erase(found);
    return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent) {
    if (!inCallRef || !inEvent) return paramErr;
    return RunFrom(*inCallRef, inCallRef->current + 1, inEvent);
}

OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget) {
    if (!inEvent || !inTarget) return paramErr;
    auto chain = std::make_shared<std::vector<std::shared_ptr<OpaqueEventHandlerRef>>>();
    for (auto h = inTarget->handlers.rbegin(); h != inTarget->handlers.rend(); ++h)
        if ((*h)->Handles(inEvent)) chain->push_back(*h);
    return RunFrom({chain, 0}, 0, inEvent);
}

} // namespace platform::carbon
