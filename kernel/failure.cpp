#include "kernel/failure.h"

#include "attributes/attribute_handler.h"
#include "attributes/attributes_collection.h"
#include "kernel/object_index.h"
#include "kernel/objects_collection.h"
#include "kernel/time_service.h"
#include "kernel/universe.h"

namespace NS_Failure {

namespace {
template <typename T> std::string Named(T* thrown, const char* what)
{
    delete thrown;
    return what;
}
} // namespace

std::string Describe(std::exception_ptr failure)
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

} // namespace NS_Failure
