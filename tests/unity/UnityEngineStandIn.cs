// SPDX-License-Identifier: MIT
// Compile-only stand-ins for the few UnityEngine types the sample uses; never run.
namespace UnityEngine
{
    public class Object
    {
    }

    public class Component : Object
    {
    }

    public class Behaviour : Component
    {
    }

    public class MonoBehaviour : Behaviour
    {
    }

    [System.AttributeUsage(System.AttributeTargets.Field)]
    public sealed class SerializeField : System.Attribute
    {
    }

    public static class Debug
    {
        public static void Log(object message) => System.Console.WriteLine(message);

        public static void LogWarning(object message) => System.Console.WriteLine(message);
    }
}
