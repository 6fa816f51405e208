#include "platform/exception.h"

#include "platform/format.h"

EListIndexError::EListIndexError(int index)
    : Exception(Format("List index out of bounds (%d)", index))
{ }
