// The shared library is assembled from the subsystem libraries (linked whole);
// this unit only gives the target a source of its own. Loading the library
// runs the static initialisers of those units: the cipher's key object and
// the entry object behind g_piVrkSystem.
namespace orvel {
extern const int kLibraryAbiMajor = 1;
}  // namespace orvel
