/* Symbol visibility of the public interface.
 *
 * The library is built with every symbol hidden; what a host may call is
 * marked Q8_API and stays visible in the shared library (libq8vantorpt.so).
 * Plain C, so that the C interface can include it too. */
#ifndef Q8VANTORPT_EXPORT_H
#define Q8VANTORPT_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define Q8_API __attribute__((visibility("default")))
#else
#define Q8_API
#endif

#endif /* Q8VANTORPT_EXPORT_H */
