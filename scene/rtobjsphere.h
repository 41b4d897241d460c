// Spheres: rtObjSphere<1> is the static sphere ("sphere"), rtObjSphere<0> the moving sphere
// ("movsphere") whose centre travels with velocity mov while it exists, tmin < time < tmax.
// Single rays and ray bundles alike see the moving sphere in space-time, unless light travel
// time is on: then it is a body in the frame's moving bodies (accel/movingbodies.h).
#pragma once

#include <QString>
#include <type_traits>

#include "scene/rtobjbase.h"

// The fields of the moving sphere's motion.
template <int N>
struct SphereMotion {
    Vec4f mov{0, 0, 0, 0};  // velocity: change of position per time
    float tmin = 0.0f;      // the moving sphere exists for tmin < time < tmax
    float tmax = 0.0f;
    // The moving sphere slower than light: with light travel time on it is drawn as a body at
    // rest in its own frame (the frame's moving bodies), and its space-time test steps aside.
    bool hasRestFrame = false;
};

// The sphere at rest, the commonest object of big scenes, keeps none of them: the same names are
// constants with the values the moving sphere starts with (32 bytes less a sphere).
template <>
struct SphereMotion<1> {
    static inline const Vec4f mov{0, 0, 0, 0};
    static constexpr float tmin = 0.0f;
    static constexpr float tmax = 0.0f;
    static constexpr bool hasRestFrame = false;
};

// The moving sphere keeps the box it sweeps as its hit bounds; the sphere at rest works its own
// out from its centre and radius when asked (hitBounds), 32 bytes less a sphere.
template <int N>
class rtObjSphere : public std::conditional_t<N == 0, rtObjBounded, rtObjBase>,
                    public SphereMotion<N> {
public:
    static constexpr bool kStatic = N != 0;
    using SphereMotion<N>::mov;
    using SphereMotion<N>::tmin;
    using SphereMotion<N>::tmax;
    using SphereMotion<N>::hasRestFrame;

    // The floats first: they fill the 8 bytes between the base and the centre.
    float radius = 0.5f;
    // radius^2, kept for the hit tests, not worked out there: update() makes it rounding to
    // nearest, and the render threads round down, which would give another float. (1 / radius,
    // which only shading needs, is worked out there, rounded to nearest: inverseToNearest.)
    float radius2 = 0.25f;
    Vec4f center{0, 0, 0, 0};  // centre; for the moving sphere its position at time tmin
    SharedText texname;
    Texture* texture = nullptr;  // resolved from texname

    rtObjSphere();

    BoundingBox boundingBox() const override;
    BoundingBox hitBounds() const override;
    void resolveTextures(TextureCol& textures) override;

    // Any render thread.
    void intersect1(SingleRay& ray, float& t) const override;
    void intersect1Alt(SingleRay& ray, float& t) const override;
    bool occluded1(const SingleRay& ray) const override;
    void shade1(SingleRay& ray, float t) const override;
    LaneMask4 intersect4(RayBundle4& bundle) const override;
    LaneMask4 intersect4Alt(RayBundle4& bundle) const override;
    int reserved4(int) const override;
    void shade4(RayBundle4& bundle, LaneMask4 mask) const override;
    bool intersect16(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    bool intersect16Alt(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    int reserved16(int) const override;
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4]) const override;

    // Between frames only.
    void prepareForOrigin(const Vec4f& origin) override;
    void getProperties(Reader::PropertyList& list) override;
    void update() override;
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;
    BodyMotion motion() const override;
    bool staticSphere(Vec4f& centreAndRadius2) const override;

protected:
    Vec4f referencePoint() const override { return center; }

private:
    // The static sphere's test data: centre x, y, z and radius^2 (staticSphere).
    Vec4f staticLanes() const { return Vec4f(center.x, center.y, center.z, radius2); }
    // Whether the frame of these settings draws the moving sphere through its rest frame.
    bool stepsAside(const RenderSettings* settings) const;
    // Accepted distance along the ray (with the centre at the time of the hit for the moving
    // sphere); false when no root lies inside the ray's interval (and the sphere's lifetime).
    bool hitSingle(const SingleRay& ray, float& t, Vec4f& hitCenter) const;
    // |(p - c).dir| / radius per lane for unit directions from origin (x, y, z, w lanes).
    Vec4f shadeFactors(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz, const Vec4f origin[4],
                       const Vec4f& tHit) const;
};

// rtObjSphere<1>::intersect16 of the sphere with centre x, y, z and squared radius w: the same
// hits bit for bit. Any render thread.
bool intersectStaticSphere16(const Vec4f& centreAndRadius2, RayBundle16& bundle, LaneMask4 hits[4]);

extern template class rtObjSphere<0>;
extern template class rtObjSphere<1>;
