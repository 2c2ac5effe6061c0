// SPDX-License-Identifier: MIT
// Advertises the game's lobby on the local network when the scene starts. The registration
// lasts until the game (or, in the Editor, the Editor) quits.
using System;
using Quivane;
using UnityEngine;

public class AdvertiseLobby : MonoBehaviour
{
    [SerializeField] private string serviceName = "My Game Lobby";
    [SerializeField] private string serviceType = "_mygame._udp";
    [SerializeField] private int lobbyPort = 7777;

    private void Start()
    {
        try
        {
            bool accepted = QuivaneDll.RegisterService(serviceName, serviceType, ".", lobbyPort);
            Debug.Log($"QuivaneDll: advertising {serviceName} ({serviceType}) on port {lobbyPort}: {accepted}");
        }
        catch (PlatformNotSupportedException e)
        {
            Debug.LogWarning($"QuivaneDll: no native module on this platform: {e.Message}");
        }
    }
}
