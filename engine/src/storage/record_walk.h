// Walks over the records of a store in slot order, each read into a buffer
// of its own, for checks and restructuring that visit every record.
#pragma once

#include "platform/memory.h"
#include "storage/record_manager.h"

namespace sqlmem {

// Calls `visit(record, id)` for every record of the store, in slot order,
// until it answers true; answers whether one did.
template <class Visit>
bool anyRecord(const TSQLMemBaseRecordManager& rm, int session, Visit visit) {
    EngineBytes buffer(rm.recordSize());
    TSQLMemGetRequest r;
    r.Session = session;
    r.Mode = TSQLMemGetMode::Next;
    r.FromFirst = true;
    r.Dest = buffer.data();
    for (;;) {
        rm.get(r);
        if (r.Answer != TSQLMemGetAnswer::Found) return false;
        if (visit(static_cast<const std::uint8_t*>(buffer.data()),
                  TSQLMemRecordID{r.Slot, r.ItemNo}))
            return true;
    }
}

// Calls `visit(record)` for every record of the store in slot order.
template <class Visit>
void eachRecord(const TSQLMemBaseRecordManager& rm, int session, Visit visit) {
    anyRecord(rm, session, [&](const std::uint8_t* record, TSQLMemRecordID) {
        visit(record);
        return false;
    });
}

}  // namespace sqlmem
