#include "render/nodes/light_node.h"

LightNode::LightNode(uint32_t type) : lightType(type)
{
    kind = scene_node_kind::kLight;
}

LightRecord& LightNode::FillLightRecord()
{
    record.colour = colour;
    GetWorldMatrix();
    transform.RefreshRotationMatrix();
    record.direction = transform.rotationMatrix.Row(2);
    record.lightType = lightType;
    record.lightFlag = lightFlag;
    return record;
}
