#pragma once
// The engine's resource types: one ResourceObject instantiation each, with the
// format version its SaveToFile writes. Each type's handle lives with its own
// subsystem and, in that subsystem's source, registers one handle on the
// global object list during static initialisation, so the release at exit
// gives back its block pool's free memory:
//
//   namespace {
//   [[maybe_unused]] TextureResource* const textureType = RegisterGlobalObject(new TextureResource);
//   }
//
// | type               | handle                | payload              | where            |
// |--------------------|-----------------------|----------------------|------------------|
// | texture            | TextureResource       | texture data         | render/ (device) |
// | material           | MaterialResource      | an Effect handle     | render/          |
// | effect             | Effect (EffectResource) | EffectData         | render/          |
// | scene              | Scene (SceneResource) | material + node list | render/          |
// | particle system    | ParticleResource      | ParticleData         | render/          |
// | vertex declaration | VertexDeclResource    | VertexDeclData       | render/ (device) |
// | vertex buffer      | VertexBufferResource  | buffer and counts    | render/ (device) |
// | index buffer       | IndexBufferResource   | IndexBufferData      | render/ (device) |
// | mesh               | MeshResource          | MeshData             | render/          |
#include <cstdint>

#include "kernel/global_objects.h"
#include "kernel/resource_object.h"

inline constexpr uint16_t kTextureFormatVersion = 0;
inline constexpr uint16_t kMaterialFormatVersion = 1;
inline constexpr uint16_t kEffectFormatVersion = 1;
inline constexpr uint16_t kSceneFormatVersion = 1;
inline constexpr uint16_t kParticleFormatVersion = 0;
inline constexpr uint16_t kVertexDeclFormatVersion = 0;
inline constexpr uint16_t kVertexBufferFormatVersion = 0;
inline constexpr uint16_t kIndexBufferFormatVersion = 1;
inline constexpr uint16_t kMeshFormatVersion = 0;
