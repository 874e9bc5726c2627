#include "crowd_snapshot.h"

namespace {

const size_t kAlign = 32;  // room for 8-lane loads
const LONG kFirstCapacity = 128;

char* AlignUp(char* p) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  return reinterpret_cast<char*>((a + (kAlign - 1)) & ~static_cast<uintptr_t>(kAlign - 1));
}

LONG RoundUp(LONG n) { return (n + kSnapshotLanes - 1) / kSnapshotLanes * kSnapshotLanes; }

void CopyReals(Real* to, const Real* from, LONG n) {
  for (LONG i = 0; i < n; ++i) to[i] = from[i];
}

}  // namespace

CrowdSnapshot::CrowdSnapshot()
    : count_(0), lanes_(0), capacity_(0), block_(nullptr), object_(nullptr), x_(nullptr), y_(nullptr),
      z_(nullptr), heading_(nullptr), bank_(nullptr) {}

CrowdSnapshot::~CrowdSnapshot() { delete[] block_; }

Bool CrowdSnapshot::Reserve(LONG lanes) {
  if (lanes <= capacity_) return TRUE;
  // Five arrays of Real and one of pointers, each aligned; a size that
  // would not fit the address space is refused.
  const size_t n = static_cast<size_t>(lanes);
  if (n > static_cast<size_t>(-1) / 64) return FALSE;
  const size_t reals = (n * sizeof(Real) + kAlign - 1) / kAlign * kAlign;
  const size_t pointers = (n * sizeof(BaseObject*) + kAlign - 1) / kAlign * kAlign;
  char* block = gNew char[5 * reals + pointers + kAlign];
  if (!block) return FALSE;
  char* p = AlignUp(block);
  Real* x = reinterpret_cast<Real*>(p);
  Real* y = reinterpret_cast<Real*>(p + reals);
  Real* z = reinterpret_cast<Real*>(p + 2 * reals);
  Real* heading = reinterpret_cast<Real*>(p + 3 * reals);
  Real* bank = reinterpret_cast<Real*>(p + 4 * reals);
  BaseObject** object = reinterpret_cast<BaseObject**>(p + 5 * reals);
  CopyReals(x, x_, count_);
  CopyReals(y, y_, count_);
  CopyReals(z, z_, count_);
  CopyReals(heading, heading_, count_);
  CopyReals(bank, bank_, count_);
  for (LONG i = 0; i < count_; ++i) object[i] = object_[i];
  delete[] block_;
  block_ = block;
  capacity_ = lanes;
  x_ = x;
  y_ = y;
  z_ = z;
  heading_ = heading;
  bank_ = bank;
  object_ = object;
  return TRUE;
}

void CrowdSnapshot::Read(LONG index, BaseObject* child) {
  object_[index] = child;
  Vector p = child->GetGlobalMatrix().off;
  Vector r = child->GetRotation();
  x_[index] = p.x;
  y_[index] = p.y;
  z_[index] = p.z;
  heading_[index] = r.x;
  bank_[index] = r.z;
}

Bool CrowdSnapshot::Fill(BaseObject* first) {
  count_ = 0;
  lanes_ = 0;
  for (BaseObject* c = first; c; c = c->GetNext()) {
    // A group past this would overflow the lane count; no host holds one.
    if (count_ >= 0x7fffffff - kSnapshotLanes) return FALSE;
    if (count_ == capacity_ && !Reserve(capacity_ ? 2 * capacity_ : kFirstCapacity)) {
      count_ = 0;
      return FALSE;
    }
    Read(count_++, c);
  }
  lanes_ = RoundUp(count_);
  if (!Reserve(lanes_)) {
    count_ = lanes_ = 0;
    return FALSE;
  }
  // The padding reads as neighbours nowhere: it is never counted (its
  // index is past Count()), and zero keeps its arithmetic quiet.
  for (LONG i = count_; i < lanes_; ++i) {
    object_[i] = nullptr;
    x_[i] = y_[i] = z_[i] = heading_[i] = bank_[i] = 0.0f;
  }
  return TRUE;
}

void CrowdSnapshot::Refresh(LONG index, BaseObject* child) {
  if (index < 0 || index >= count_ || object_[index] != child) return;
  Read(index, child);
}

LONG CrowdSnapshot::IndexOf(BaseObject* child, LONG hint) const {
  if (hint >= 0 && hint < count_ && object_[hint] == child) return hint;
  for (LONG i = 0; i < count_; ++i)
    if (object_[i] == child) return i;
  return -1;
}
