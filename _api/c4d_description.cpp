#include "c4d_description.h"

#include "c4d_os.h"

Bool Description::LoadDescription(LONG id) {
  return C4DOS.registry.load_description(reinterpret_cast<KwDescription*>(this), id);
}
