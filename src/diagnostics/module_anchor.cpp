// Keeps the library non-empty while its subsystems are filled in.
namespace qv_commonclass {
int QvLibraryAnchor() { return 0; }
}  // namespace qv_commonclass
