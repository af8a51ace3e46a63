#include "kernel/failure.h"

#include <algorithm>
#include <cstring>

#include "attributes/attribute_handler.h"
#include "attributes/attributes_collection.h"
#include "kernel/object_index.h"
#include "kernel/objects_collection.h"
#include "kernel/time_service.h"
#include "kernel/universe.h"

namespace NS_Failure {

namespace {

template <typename T> const char* Named(T* thrown, const char* what) noexcept
{
    delete thrown;
    return what;
}

// Only literals and what() come out of here; the latter lives as long as
// `failure` does.
const char* Words(const std::exception_ptr& failure) noexcept
{
    if (!failure) {
        return "no failure";
    }
    try {
        std::rethrow_exception(failure);
    } catch (NS_Universe::Exception* e) {
        return Named(e, "the universe failed (a system object could not be created, or a handler is malformed)");
    } catch (NS_TimeService::Exception* e) {
        return Named(e, "the time service could not create or arm its timer");
    } catch (NS_ObjectIndex::Exception* e) {
        return Named(e, "the object stamps are exhausted");
    } catch (NS_ObjectsCollection::Exception* e) {
        return Named(e, "the objects table was given a dead reference or an object it already holds");
    } catch (NS_AttributeHandler::Exception* e) {
        return Named(e, "a handler was used against its rules (a dead reference, a missing name or value)");
    } catch (NS_AttributesCollection::Exception* e) {
        return Named(e, "a collection was asked to add a duplicate name or remove a missing one");
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown exception";
    }
}

} // namespace

std::string Describe(std::exception_ptr failure)
{
    return Words(failure);
}

void Discard(std::exception_ptr failure) noexcept
{
    Words(failure);
}

void DescribeInto(std::exception_ptr failure, char* buffer, std::size_t size) noexcept
{
    if (size == 0) {
        Discard(failure);
        return;
    }
    const char* words = Words(failure);
    const std::size_t length = std::min(std::strlen(words), size - 1);
    std::memcpy(buffer, words, length);
    buffer[length] = '\0';
}

} // namespace NS_Failure
