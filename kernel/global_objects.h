#pragma once
// The global object list: engine-wide objects made during static initialisation
// (one handle per resource type), owned by the list in registration order. At
// release each gives back its type's free pool memory and is deleted, in the
// order registered.
#include <cstddef>

class SerializableObject;

void AppendGlobalObject(SerializableObject* object);

// Appends the object and returns it; the list owns it from then on.
template <class T>
T* RegisterGlobalObject(T* object)
{
    AppendGlobalObject(object);
    return object;
}

// ReleasePoolMemory, then delete, for each object in registration order; the
// list is empty afterwards.
void DeleteGlobalObjects();

size_t GlobalObjectCount();

// ForgetClearedEntries of each object: every registered resource type drops
// the ids no handle counts any more (between fuzz runs and tests).
void ForgetClearedResourceEntries();
