// Keeps the fakes library non-empty whatever fakes exist.
namespace tarnhollow_test_fakes {
int anchor = 0;
}
