/*
 * Component ABI: objects created by class name and members invoked by name.
 *
 * A component library exports one C function, COMPONENT_ENTRY_SYMBOL, that returns its function table. A host
 * loads the library with dlopen, never links it, and talks to it only through this table. Texts cross the boundary
 * as UTF-8 with an explicit length (they may hold zero bytes). Nothing throws across it: a failed creation or call
 * returns non-zero and fills a fault (number + description).
 */
#ifndef QUORREL_COMPONENT_H
#define QUORREL_COMPONENT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define COMPONENT_ABI_VERSION 1
#define COMPONENT_ENTRY_SYMBOL "component_library_entry"

/* What a value holds. A missing value is an optional argument left out, or a member that returns nothing. */
enum component_value_kind { COMPONENT_MISSING = 0, COMPONENT_NUMBER = 1, COMPONENT_TEXT = 2 };

/* How a member is invoked: as a method, as a property read, or as a property assignment (one argument). */
enum component_call_kind { COMPONENT_METHOD = 1, COMPONENT_GET = 2, COMPONENT_PUT = 3 };

typedef struct component_value {
    int kind;          /* component_value_kind */
    double number;     /* COMPONENT_NUMBER */
    const char *text;  /* COMPONENT_TEXT: UTF-8, `length` bytes, not necessarily zero-terminated */
    size_t length;
    int by_ref;        /* set by the caller: the member may replace this argument with a new value */
    int owned;         /* set by the library: `text` is the library's; give the value back with free_value */
} component_value;

typedef struct component_fault {
    int number;
    char description[512]; /* zero-terminated UTF-8 */
} component_fault;

typedef struct component_object component_object; /* opaque, owned by the library */

typedef struct component_library {
    int abi_version; /* COMPONENT_ABI_VERSION */

    /* Creates an object of the named class (letter case ignored); NULL with the fault filled on failure. */
    component_object *(*create)(const char *class_name, component_fault *fault);

    /* Releases an object made by create. */
    void (*release)(component_object *object);

    /* Invokes a member by name (letter case ignored). Returns 0 and fills `result` (owned by the library when it
     * is text), or non-zero with the fault filled. By-reference arguments may come back replaced. */
    int (*invoke)(component_object *object, const char *member, int call_kind, component_value *args, size_t count,
                  component_value *result, component_fault *fault);

    /* Gives back a value whose `owned` flag the library set; the value becomes COMPONENT_MISSING. */
    void (*free_value)(component_value *value);

    /* Sets the process-wide hook that keeps the host responsive while the library waits (NULL for none). */
    void (*set_event_pump)(void (*pump)(void *context), void *context);
} component_library;

typedef const component_library *(*component_entry_function)(void);

#ifdef __cplusplus
}
#endif

#endif
